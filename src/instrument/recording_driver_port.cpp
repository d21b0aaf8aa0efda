#include "instrument/recording_driver_port.h"

#include <cstdio>

namespace orvik {
namespace {

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace

std::string RecordingDriverPort::FormatLogLine(const RecordedCall& call) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%06x", static_cast<unsigned>(call.code));
    return std::string(code) + " in=" + HexBytes(call.input) + " out=" + HexBytes(call.output) +
           " ok=" + (call.ok ? "1" : "0");
}

void RecordingDriverPort::Record(RecordedCall call) {
    if (log_ && call.kind == RecordedCall::Kind::IoControl) {
        *log_ << FormatLogLine(call) << '\n';
        log_->flush();
    }
    if (keepCalls_) {
        calls_.push_back(std::move(call));
    }
}

std::vector<RecordedCall> RecordingDriverPort::Requests() const {
    std::vector<RecordedCall> requests;
    for (const RecordedCall& call : calls_) {
        if (call.kind == RecordedCall::Kind::IoControl) {
            requests.push_back(call);
        }
    }
    return requests;
}

std::vector<std::string> RecordingDriverPort::EnumerateInterfaces(const Guid& guid) {
    std::vector<std::string> paths = inner_.EnumerateInterfaces(guid);
    RecordedCall call;
    call.kind = RecordedCall::Kind::Enumerate;
    call.path = guid.ToString();
    call.ok = !paths.empty();
    Record(std::move(call));
    return paths;
}

OpenResult RecordingDriverPort::Open(const std::string& path, OpenOptions options) {
    const OpenResult result = inner_.Open(path, options);
    RecordedCall call;
    call.kind = RecordedCall::Kind::Open;
    call.path = path;
    call.handle = result.handle;
    call.overlapped = options.overlapped;
    call.ok = result.handle != kInvalidDriverHandle;
    Record(std::move(call));
    return result;
}

std::uint32_t RecordingDriverPort::Close(DriverHandle handle) {
    const std::uint32_t error = inner_.Close(handle);
    RecordedCall call;
    call.kind = RecordedCall::Kind::Close;
    call.handle = handle;
    call.ok = error == os_error::kSuccess;
    Record(std::move(call));
    return error;
}

IoResult RecordingDriverPort::IoControl(DriverHandle handle, std::uint32_t code,
                                        std::span<std::uint8_t> input,
                                        std::span<std::uint8_t> output) {
    RecordedCall call;
    call.handle = handle;
    call.code = code;
    call.input.assign(input.begin(), input.end());
    const IoResult result = inner_.IoControl(handle, code, input, output);
    call.output.assign(output.begin(), output.end());
    call.ok = result.ok;
    Record(std::move(call));
    return result;
}

IoStart RecordingDriverPort::StartIoControl(DriverHandle handle, std::uint32_t code,
                                            std::span<std::uint8_t> input,
                                            std::span<std::uint8_t> output) {
    RecordedCall call;
    call.handle = handle;
    call.code = code;
    call.overlapped = true;
    call.input.assign(input.begin(), input.end());
    const IoStart start = inner_.StartIoControl(handle, code, input, output);
    if (start.error != os_error::kSuccess && start.error != os_error::kIoPending) {
        call.output.assign(output.begin(), output.end());
        call.ok = false;
        Record(std::move(call));
        return start;
    }
    pending_[start.request] = Pending{std::move(call), output};
    return start;
}

bool RecordingDriverPort::WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) {
    return inner_.WaitIoControl(request, timeoutMs);
}

IoResult RecordingDriverPort::FinishIoControl(RequestId request) {
    const IoResult result = inner_.FinishIoControl(request);
    const auto found = pending_.find(request);
    if (found != pending_.end()) {
        RecordedCall call = std::move(found->second.call);
        const std::span<std::uint8_t> output = found->second.output;
        pending_.erase(found);
        call.output.assign(output.begin(), output.end());
        call.ok = result.ok;
        Record(std::move(call));
    }
    return result;
}

}  // namespace orvik
