#include "instrument/serialized_driver_port.h"

namespace orvik {

using Lock = std::lock_guard<std::recursive_mutex>;

std::vector<std::string> SerializedDriverPort::EnumerateInterfaces(const Guid& guid) {
    Lock lock(mutex_);
    return inner_.EnumerateInterfaces(guid);
}

OpenResult SerializedDriverPort::Open(const std::string& path, OpenOptions options) {
    Lock lock(mutex_);
    return inner_.Open(path, options);
}

std::uint32_t SerializedDriverPort::Close(DriverHandle handle) {
    Lock lock(mutex_);
    return inner_.Close(handle);
}

IoResult SerializedDriverPort::IoControl(DriverHandle handle, std::uint32_t code,
                                         std::span<std::uint8_t> input,
                                         std::span<std::uint8_t> output) {
    Lock lock(mutex_);
    return inner_.IoControl(handle, code, input, output);
}

IoStart SerializedDriverPort::StartIoControl(DriverHandle handle, std::uint32_t code,
                                             std::span<std::uint8_t> input,
                                             std::span<std::uint8_t> output) {
    Lock lock(mutex_);
    return inner_.StartIoControl(handle, code, input, output);
}

bool SerializedDriverPort::WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) {
    Lock lock(mutex_);
    return inner_.WaitIoControl(request, timeoutMs);
}

IoResult SerializedDriverPort::FinishIoControl(RequestId request) {
    Lock lock(mutex_);
    return inner_.FinishIoControl(request);
}

std::string SerializedDriverPort::ErrorText(std::uint32_t error) {
    Lock lock(mutex_);
    return inner_.ErrorText(error);
}

std::string SerializedDriverPort::InstrumentProblem() {
    Lock lock(mutex_);
    return inner_.InstrumentProblem();
}

}  // namespace orvik
