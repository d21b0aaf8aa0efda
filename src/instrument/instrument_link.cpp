#include "instrument/instrument_link.h"

#include <algorithm>

namespace orvik {
namespace {

// Reply bytes 3-34 carry a store page.
constexpr std::size_t kPageReplyOffset = 3;

}  // namespace

CommandPacket BuildCommand(std::uint8_t code, std::span<const std::uint8_t> parameters) {
    CommandPacket command{};
    command[0] = code;
    command[1] = 0;
    const std::size_t count = std::min(parameters.size(), kCommandSize - 2);
    std::copy_n(parameters.begin(), count, command.begin() + 2);
    return command;
}

void InstrumentLink::ResetCommandPipes() {
    CUsbEndpoint* out = device_.BulkOut();
    CUsbEndpoint* in = device_.BulkIn();
    if (out) {
        out->AbortPipe();
    }
    if (in) {
        in->AbortPipe();
    }
    if (out) {
        out->ResetPipe();
    }
    if (in) {
        in->ResetPipe();
    }
}

CommandReply InstrumentLink::Exchange(std::uint8_t code, std::span<const std::uint8_t> parameters) {
    CommandReply reply;
    ResetCommandPipes();
    CUsbEndpoint* out = device_.BulkOut();
    CUsbEndpoint* in = device_.BulkIn();
    if (out == nullptr || in == nullptr) {
        return reply;
    }
    CommandPacket command = BuildCommand(code, parameters);
    std::uint32_t length = kCommandSize;
    reply.written = out->Transfer(command, length);
    if (!reply.written) {
        return reply;
    }
    reply.bytes.fill(0);
    length = kCommandSize;
    reply.received = in->Transfer(reply.bytes, length);
    reply.bytesReceived = length;
    if (!reply.received) {
        reply.bytes.fill(0);  // a failed read leaves nothing to interpret
    }
    return reply;
}

int InstrumentLink::RegisterWrite(std::uint16_t value) {
    const std::array<std::uint8_t, 2> parameters{static_cast<std::uint8_t>(value & 0xFF),
                                                 static_cast<std::uint8_t>(value >> 8)};
    const CommandReply reply = Exchange(instrument_command::kRegisterWrite, parameters);
    clock_.SleepMs(kRegisterPauseMs);
    if (!reply.Ok() || reply.bytesReceived < 4) {
        return -1;
    }
    return reply.bytes[2] | (reply.bytes[3] << 8);
}

bool InstrumentLink::ReadPage(std::uint8_t page,
                              std::span<std::uint8_t, kStorePageSize> destination) {
    if (!device_.Open(deviceIndex_)) {
        return false;
    }
    const std::array<std::uint8_t, 1> parameters{page};
    const CommandReply reply = Exchange(instrument_command::kReadPage, parameters);
    // A reply cut short does not carry the page: taking its zeros would
    // replace stored values with nothing.
    const bool whole = reply.Ok() && reply.bytesReceived >= kPageReplyOffset + kStorePageSize;
    if (whole) {
        std::copy_n(reply.bytes.begin() + kPageReplyOffset, kStorePageSize, destination.begin());
    }
    device_.Close();
    return whole;
}

bool InstrumentLink::WritePage(std::uint8_t page,
                               std::span<const std::uint8_t, kStorePageSize> source) {
    if (!device_.Open(deviceIndex_)) {
        return false;
    }
    std::array<std::uint8_t, 1 + kStorePageSize> parameters{};
    parameters[0] = page;
    std::copy(source.begin(), source.end(), parameters.begin() + 1);
    const CommandReply reply = Exchange(instrument_command::kWritePage, parameters);
    device_.Close();
    clock_.SleepMs(kWritePagePauseMs);
    return reply.Ok();
}

std::vector<std::int16_t> InstrumentLink::AcquireBlock() {
    const std::array<std::uint8_t, 1> parameters{kAcquireBlockParameter};
    const CommandReply reply = Exchange(instrument_command::kAcquireBlock, parameters);
    if (!reply.Ok()) {
        return {};
    }
    CUsbEndpoint* samples = device_.EndpointByAddress(kSampleEndpoint);
    if (samples == nullptr) {
        return {};
    }
    samples->AbortPipe();
    samples->ResetPipe();
    std::array<std::uint8_t, kSampleBlockBytes> block{};
    std::uint32_t length = kSampleBlockBytes;
    if (!samples->Transfer(block, length)) {
        return {};
    }
    std::vector<std::int16_t> values(length / 2);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(block[2 * i] | (block[2 * i + 1] << 8)));
    }
    return values;
}

}  // namespace orvik
