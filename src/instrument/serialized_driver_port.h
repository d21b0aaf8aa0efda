#pragma once

#include <mutex>

#include "instrument/driver_port.h"

namespace orvik {

// Lets two threads share one driver port: every call holds one lock. The
// program measures on a worker thread while the window thread polls the
// trigger port; a real driver takes requests on separate handles at once,
// and this gives any port behind it the same footing. A caller that needs
// several calls in a row without a request of the other thread between them
// holds the lock itself (it is recursive).
class SerializedDriverPort : public DriverPort {
  public:
    explicit SerializedDriverPort(DriverPort& inner) : inner_(inner) {}

    std::recursive_mutex& Mutex() { return mutex_; }

    std::vector<std::string> EnumerateInterfaces(const Guid& guid) override;
    OpenResult Open(const std::string& path, OpenOptions options) override;
    std::uint32_t Close(DriverHandle handle) override;
    IoResult IoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                       std::span<std::uint8_t> output) override;
    IoStart StartIoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                           std::span<std::uint8_t> output) override;
    bool WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) override;
    IoResult FinishIoControl(RequestId request) override;
    std::string ErrorText(std::uint32_t error) override;
    std::string InstrumentProblem() override;

  private:
    DriverPort& inner_;
    std::recursive_mutex mutex_;
};

}  // namespace orvik
