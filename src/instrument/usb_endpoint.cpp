#include "instrument/usb_endpoint.h"

#include <algorithm>
#include <cstring>

#include "instrument/transfer_header.h"

namespace orvik {
namespace {

constexpr std::uint32_t kPacketEntrySize = 8;

std::uint32_t ClampLength(std::span<std::uint8_t> buffer, std::uint32_t length) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(length, buffer.size()));
}

}  // namespace

CUsbEndpoint::CUsbEndpoint(DriverPort& port, DriverHandle handle,
                           const EndpointDescriptor& descriptor)
    : port_(port),
      handle_(handle),
      descriptorLength_(descriptor.length),
      descriptorType_(descriptor.type),
      address_(descriptor.address),
      attributes_(static_cast<std::uint8_t>(descriptor.attributes & 0x03)),
      transactionsPerFrame_(static_cast<std::uint16_t>(((descriptor.maxPacketSize >> 11) & 3) + 1)),
      interval_(descriptor.interval),
      isIn_((descriptor.address & 0x80) != 0) {
    maxPacketSize_ =
        static_cast<std::uint16_t>((descriptor.maxPacketSize & 0x7FF) * transactionsPerFrame_);
}

std::unique_ptr<PendingTransfer> CUsbEndpoint::Issue(std::unique_ptr<PendingTransfer> request) {
    std::span<std::uint8_t> input(request->buffer);
    if (request->overlapped) {
        const IoStart start = port_.StartIoControl(handle_, request->code, input, request->output);
        lastError_ = start.error;
        request->started = start.error == os_error::kSuccess || start.error == os_error::kIoPending;
        request->request = start.request;
    } else {
        request->completed = port_.IoControl(handle_, request->code, input, request->output);
        lastError_ = request->completed.ok ? os_error::kSuccess : request->completed.error;
        request->started = true;
    }
    return request;
}

std::unique_ptr<PendingTransfer> CUsbEndpoint::BeginDirect(std::span<std::uint8_t> buffer,
                                                           std::uint32_t length, bool overlapped) {
    if (!HandleValid()) {
        return nullptr;
    }
    auto request = std::make_unique<PendingTransfer>();
    request->buffer.assign(TransferHeader::kSize, 0);
    TransferHeader header;
    header.endpointAddress = address_;
    header.WriteTo(request->buffer);
    request->code = usb_request::kDirectTransfer;
    request->output = buffer.first(ClampLength(buffer, length));
    request->overlapped = overlapped;
    return Issue(std::move(request));
}

std::unique_ptr<PendingTransfer> CUsbEndpoint::BeginBuffered(std::span<std::uint8_t> buffer,
                                                             std::uint32_t length,
                                                             bool overlapped) {
    if (!HandleValid()) {
        return nullptr;
    }
    length = ClampLength(buffer, length);
    auto request = std::make_unique<PendingTransfer>();
    request->buffer.assign(TransferHeader::kSize + length, 0);
    TransferHeader header;
    header.endpointAddress = address_;
    header.dataOffset = TransferHeader::kSize;
    header.dataLength = length;
    header.WriteTo(request->buffer);
    std::copy_n(buffer.begin(), length, request->buffer.begin() + TransferHeader::kSize);
    request->code = usb_request::kBufferedTransfer;
    request->output = request->buffer;
    request->overlapped = overlapped;
    return Issue(std::move(request));
}

std::unique_ptr<PendingTransfer> CUsbEndpoint::BeginTransfer(std::span<std::uint8_t>, std::uint32_t,
                                                             bool) {
    return nullptr;
}

bool CUsbEndpoint::FinishTransfer(std::span<std::uint8_t> buffer, std::uint32_t& length,
                                  PendingTransfer& request, std::span<std::uint8_t> packetInfo) {
    IoResult result = request.completed;
    if (!request.started) {
        result = IoResult{false, 0, lastError_};
    } else if (request.overlapped) {
        result = port_.FinishIoControl(request.request);
    }
    const TransferHeader header = TransferHeader::ReadFrom(request.buffer);
    bytesTransferred_ = 0;
    if (result.bytesReturned > header.dataOffset) {
        bytesTransferred_ = result.bytesReturned - header.dataOffset;
    }
    statusA_ = header.statusA;
    statusB_ = header.statusB;

    const bool buffered = header.dataOffset != 0;
    if (ReadsBack() && buffered && header.dataOffset <= request.buffer.size()) {
        // Never more than the request carries, nor more than the caller asked for.
        const std::size_t available = request.buffer.size() - header.dataOffset;
        const std::size_t count = std::min<std::size_t>(
            {bytesTransferred_, available, std::min<std::size_t>(length, buffer.size())});
        std::copy_n(request.buffer.begin() + header.dataOffset, count, buffer.begin());
    }
    if (!packetInfo.empty() && bytesTransferred_ > 0) {
        std::fill(packetInfo.begin(), packetInfo.end(), 0);
        const std::size_t tableEnd =
            std::size_t{header.packetTableOffset} + header.packetTableLength;
        if (header.packetTableLength > 0 && tableEnd <= request.buffer.size()) {
            const std::size_t count =
                std::min<std::size_t>(header.packetTableLength, packetInfo.size());
            std::copy_n(request.buffer.begin() + header.packetTableOffset, count,
                        packetInfo.begin());
        }
    }
    length = bytesTransferred_;
    return result.ok && statusA_ == 0 && statusB_ == 0;
}

bool CUsbEndpoint::WaitTransfer(PendingTransfer& request) {
    if (lastError_ == os_error::kSuccess) {
        return true;
    }
    if (lastError_ != os_error::kIoPending) {
        return false;
    }
    if (port_.WaitIoControl(request.request, std::int64_t{timeoutMs_})) {
        return true;
    }
    // The request should be over before its buffer may go: abort the pipe and
    // wait for the aborted request to come back. A driver that does not
    // complete it must not hold the program for ever: after a bounded wait
    // the request is given up (finishing it makes the port forget it, so its
    // buffers are no longer touched) and the transfer fails.
    AbortPipe();
    if (!port_.WaitIoControl(request.request, kAbortCompletionTimeoutMs)) {
        lastError_ = os_error::kSemaphoreTimeout;
    }
    return false;
}

bool CUsbEndpoint::Transfer(std::span<std::uint8_t> buffer, std::uint32_t& length,
                            std::span<std::uint8_t> packetInfo) {
    length = ClampLength(buffer, length);
    std::unique_ptr<PendingTransfer> request = BeginTransfer(buffer, length, true);
    if (!request) {
        bytesTransferred_ = 0;
        length = 0;
        return false;
    }
    const bool waited = WaitTransfer(*request);
    const bool finished = FinishTransfer(buffer, length, *request, packetInfo);
    return waited && finished;
}

bool CUsbEndpoint::PipeRequest(std::uint32_t code) {
    if (!HandleValid()) {
        return false;
    }
    std::uint8_t address = address_;
    const IoResult result = port_.IoControl(handle_, code, std::span(&address, 1), {});
    lastError_ = result.ok ? os_error::kSuccess : result.error;
    return result.ok;
}

bool CUsbEndpoint::AbortPipe() {
    return PipeRequest(usb_request::kAbortPipe);
}

bool CUsbEndpoint::ResetPipe() {
    return PipeRequest(usb_request::kResetPipe);
}

std::unique_ptr<PendingTransfer> CUsbEndpoint::BeginInUsualForm(std::span<std::uint8_t> buffer,
                                                                std::uint32_t length,
                                                                bool overlapped) {
    return UseDirect() ? BeginDirect(buffer, length, overlapped)
                       : BeginBuffered(buffer, length, overlapped);
}

std::unique_ptr<PendingTransfer> CUsbControlEndpoint::BeginTransfer(std::span<std::uint8_t> buffer,
                                                                    std::uint32_t length,
                                                                    bool overlapped) {
    if (!HandleValid()) {
        return nullptr;
    }
    // The setup packet's length field has 16 bits.
    length = std::min<std::uint32_t>(ClampLength(buffer, length), 0xFFFF);
    auto pending = std::make_unique<PendingTransfer>();
    pending->buffer.assign(TransferHeader::kSize + length, 0);
    TransferHeader header;
    header.requestType = static_cast<std::uint8_t>(((requestType << 5) & 0x60) | (target & 0x1F) |
                                                   ((direction & 1) << 7));
    header.request = request;
    header.value = value;
    header.index = index;
    header.length = static_cast<std::uint16_t>(length);
    const std::uint32_t timeout = TimeoutMs();
    header.timeoutSeconds = (timeout > 0 && timeout < 1000) ? 1 : timeout / 1000;
    header.endpointAddress = 0;
    header.dataOffset = TransferHeader::kSize;
    header.dataLength = length;
    header.WriteTo(pending->buffer);
    std::copy_n(buffer.begin(), length, pending->buffer.begin() + TransferHeader::kSize);
    pending->code = usb_request::kControlTransfer;
    pending->output = pending->buffer;
    pending->overlapped = overlapped;
    return Issue(std::move(pending));
}

std::unique_ptr<PendingTransfer> CUsbBulkEndpoint::BeginTransfer(std::span<std::uint8_t> buffer,
                                                                 std::uint32_t length,
                                                                 bool overlapped) {
    return BeginInUsualForm(buffer, length, overlapped);
}

std::unique_ptr<PendingTransfer> CUsbInterruptEndpoint::BeginTransfer(
    std::span<std::uint8_t> buffer, std::uint32_t length, bool overlapped) {
    return BeginInUsualForm(buffer, length, overlapped);
}

std::uint32_t CUsbIsocEndpoint::PacketCount(std::uint32_t length) const {
    if (MaxPacketSize() == 0) {
        return 0;
    }
    return (length + MaxPacketSize() - 1) / MaxPacketSize();
}

std::unique_ptr<PendingTransfer> CUsbIsocEndpoint::BeginDirect(std::span<std::uint8_t> buffer,
                                                               std::uint32_t length,
                                                               bool overlapped) {
    length = ClampLength(buffer, length);
    const std::uint32_t packets = PacketCount(length);
    if (!HandleValid() || packets == 0) {
        return nullptr;
    }
    auto request = std::make_unique<PendingTransfer>();
    request->buffer.assign(TransferHeader::kSize + kPacketEntrySize * packets, 0);
    TransferHeader header;
    header.endpointAddress = Address();
    header.packetTableOffset = TransferHeader::kSize;
    header.packetTableLength = kPacketEntrySize * packets;
    header.WriteTo(request->buffer);
    request->code = usb_request::kDirectTransfer;
    request->output = buffer.first(length);
    request->overlapped = overlapped;
    return Issue(std::move(request));
}

std::unique_ptr<PendingTransfer> CUsbIsocEndpoint::BeginBuffered(std::span<std::uint8_t> buffer,
                                                                 std::uint32_t length,
                                                                 bool overlapped) {
    length = ClampLength(buffer, length);
    const std::uint32_t packets = PacketCount(length);
    if (!HandleValid() || packets == 0) {
        return nullptr;
    }
    const std::uint32_t tableLength = kPacketEntrySize * packets;
    const std::uint32_t dataOffset =
        static_cast<std::uint32_t>(TransferHeader::kSize) + tableLength;
    auto request = std::make_unique<PendingTransfer>();
    request->buffer.assign(std::size_t{dataOffset} + length, 0);
    TransferHeader header;
    header.endpointAddress = Address();
    header.packetTableOffset = TransferHeader::kSize;
    header.packetTableLength = tableLength;
    header.dataOffset = dataOffset;
    header.dataLength = length;
    header.WriteTo(request->buffer);
    std::copy_n(buffer.begin(), length, request->buffer.begin() + dataOffset);
    request->code = usb_request::kBufferedTransfer;
    request->output = request->buffer;
    request->overlapped = overlapped;
    return Issue(std::move(request));
}

std::unique_ptr<PendingTransfer> CUsbIsocEndpoint::BeginTransfer(std::span<std::uint8_t> buffer,
                                                                 std::uint32_t length,
                                                                 bool overlapped) {
    return BeginInUsualForm(buffer, length, overlapped);
}

std::unique_ptr<CUsbEndpoint> MakeEndpoint(DriverPort& port, DriverHandle handle,
                                           const EndpointDescriptor& descriptor) {
    switch (static_cast<TransferType>(descriptor.attributes & 0x03)) {
        case TransferType::Control:
            return std::make_unique<CUsbControlEndpoint>(port, handle, descriptor);
        case TransferType::Isochronous:
            return std::make_unique<CUsbIsocEndpoint>(port, handle, descriptor);
        case TransferType::Bulk:
            return std::make_unique<CUsbBulkEndpoint>(port, handle, descriptor);
        case TransferType::Interrupt:
            return std::make_unique<CUsbInterruptEndpoint>(port, handle, descriptor);
    }
    return nullptr;
}

}  // namespace orvik
