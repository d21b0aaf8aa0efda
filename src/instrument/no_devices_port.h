#pragma once

#include "instrument/driver_port.h"

namespace orvik {

// The driver port of a machine without the instrument's driver: nothing is
// ever found, exactly as when no instrument is plugged in.
class NoDevicesPort : public DriverPort {
  public:
    std::vector<std::string> EnumerateInterfaces(const Guid&) override { return {}; }
    OpenResult Open(const std::string&, OpenOptions) override {
        return {kInvalidDriverHandle, os_error::kFileNotFound};
    }
    std::uint32_t Close(DriverHandle) override { return os_error::kInvalidHandle; }
    IoResult IoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t>,
                       std::span<std::uint8_t>) override {
        return {false, 0, os_error::kInvalidHandle};
    }
    IoStart StartIoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t>,
                           std::span<std::uint8_t>) override {
        return {os_error::kInvalidHandle, 0};
    }
    bool WaitIoControl(RequestId, std::optional<std::int64_t>) override { return true; }
    IoResult FinishIoControl(RequestId) override { return {false, 0, os_error::kInvalidHandle}; }
    std::string ErrorText(std::uint32_t) override { return "The device is not connected."; }
};

}  // namespace orvik
