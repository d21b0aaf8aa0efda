// Finding the instrument and the trigger port on the bus.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "instrument/no_devices_port.h"
#include "usb/libusb_driver_port.h"
#include "usb/usb_bus.h"

namespace orvik {
namespace usb_bus {

std::string SerialOf(libusb_device_handle* handle, const libusb_device_descriptor& descriptor) {
    if (descriptor.iSerialNumber == 0) {
        return {};
    }
    unsigned char text[128] = {};
    const int length =
        libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof text);
    return length > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length))
                      : std::string();
}

std::string SerialOf(libusb_device* device, const libusb_device_descriptor& descriptor) {
    libusb_device_handle* handle = nullptr;
    if (descriptor.iSerialNumber == 0 || libusb_open(device, &handle) != 0) {
        return {};
    }
    std::string serial = SerialOf(handle, descriptor);
    libusb_close(handle);
    return serial;
}

}  // namespace usb_bus

namespace {

constexpr const char* kLogSource = "usb";
// How often the bus is looked at while the instrument is away starting its
// new program.
constexpr auto kRenumerationPoll = std::chrono::milliseconds(50);
constexpr std::uint16_t kRunningReleaseNumber = 0x0064;

}  // namespace

using usb_bus::DeviceList;
using usb_bus::SerialOf;

std::string AttachedInstrument::Describe() const {
    char text[64];
    std::snprintf(text, sizeof text, "MV300 on bus %d, address %d", bus, address);
    return std::string(text) + (serial.empty() ? "" : ", serial " + serial);
}

std::string LibusbDriverPort::PathOf(int bus, int address) {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", bus, address);
    return path;
}

std::vector<AttachedInstrument> LibusbDriverPort::Matching(Kind kind) {
    std::vector<AttachedInstrument> found;
    const DeviceList list(context_);
    for (libusb_device* device : list.Devices()) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) {
            continue;
        }
        const UsbId id{descriptor.idVendor, descriptor.idProduct};
        const bool wanted =
            kind == Kind::Trigger ? id == settings_.trigger : settings_.IsInstrument(id);
        if (!wanted) {
            continue;
        }
        AttachedInstrument attached;
        attached.bus = libusb_get_bus_number(device);
        attached.address = libusb_get_device_address(device);
        attached.id = id;
        attached.programRunning = descriptor.bcdDevice == kRunningReleaseNumber;
        found.push_back(attached);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::pair{a.bus, a.address} < std::pair{b.bus, b.address};
    });
    return found;
}

void LibusbDriverPort::WaitForRenumeration() {
    const Departure departure = *departure_;
    departure_.reset();
    while (true) {
        for (const AttachedInstrument& instrument : Matching(Kind::Instrument)) {
            const bool sameDevice =
                instrument.bus == departure.bus && instrument.address == departure.address;
            if (!sameDevice && instrument.id == settings_.instrumentRunning) {
                return;
            }
        }
        if (std::chrono::steady_clock::now() >= departure.deadline) {
            log_->Warning(kLogSource, "The instrument did not come back with its running id " +
                                          settings_.instrumentRunning.ToString() +
                                          " after its program was started");
            return;
        }
        std::this_thread::sleep_for(kRenumerationPoll);
    }
}

std::vector<std::string> LibusbDriverPort::EnumerateInterfaces(const Guid& guid) {
    if (guid != kInstrumentInterfaceGuid && guid != kTriggerInterfaceGuid) {
        return {};
    }
    const Kind kind = guid == kTriggerInterfaceGuid ? Kind::Trigger : Kind::Instrument;
    if (kind == Kind::Instrument && departure_) {
        WaitForRenumeration();
    }
    std::vector<std::string> paths;
    for (const AttachedInstrument& device : Matching(kind)) {
        paths.push_back(PathOf(device.bus, device.address));
    }
    return paths;
}

std::vector<AttachedInstrument> LibusbDriverPort::Instruments() {
    std::vector<AttachedInstrument> instruments = Matching(Kind::Instrument);
    const DeviceList list(context_);
    for (AttachedInstrument& instrument : instruments) {
        for (libusb_device* device : list.Devices()) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_bus_number(device) == instrument.bus &&
                libusb_get_device_address(device) == instrument.address &&
                libusb_get_device_descriptor(device, &descriptor) == 0) {
                instrument.serial = SerialOf(device, descriptor);
            }
        }
    }
    return instruments;
}

RealDriverPort OpenRealDriverPort(const UsbSettings& settings) {
    RealDriverPort real;
    Result<std::unique_ptr<LibusbDriverPort>> usb = LibusbDriverPort::Create(settings);
    if (usb) {
        real.usb = usb->get();
        real.port = std::move(*usb);
    } else {
        real.problem = usb.Error().Message + " (" + usb.Error().Detail + ")";
        real.port = std::make_unique<NoDevicesPort>();
    }
    return real;
}

}  // namespace orvik
