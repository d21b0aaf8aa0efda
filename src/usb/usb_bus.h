#pragma once

// The devices on the bus, for the libusb driver port's own files.
#include <libusb.h>

#include <cstddef>
#include <span>
#include <string>

namespace orvik::usb_bus {

// The device list of the moment, released when it goes.
class DeviceList {
  public:
    explicit DeviceList(libusb_context* context) {
        const ssize_t count = libusb_get_device_list(context, &devices_);
        count_ = count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    ~DeviceList() {
        if (devices_ != nullptr) {
            libusb_free_device_list(devices_, 1);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    std::span<libusb_device*> Devices() const { return {devices_, count_}; }

  private:
    libusb_device** devices_ = nullptr;
    std::size_t count_ = 0;
};

// The hub port a device is plugged into, "1-4.2"; empty when unknown.
std::string PortOf(libusb_device* device);

// The serial number string through an open handle; empty when there is none.
std::string SerialOf(libusb_device_handle* handle, const libusb_device_descriptor& descriptor);
// Opens the device for the question alone; empty when it cannot be opened.
std::string SerialOf(libusb_device* device, const libusb_device_descriptor& descriptor);

}  // namespace orvik::usb_bus
