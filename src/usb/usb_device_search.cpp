// Finding the instrument and the trigger port on the bus, and keeping the
// session's instrument: which one it is, its claim, its return after the
// program upload, and why none can be used.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <tuple>

#include "instrument/no_devices_port.h"
#include "usb/libusb_driver_port.h"
#include "usb/usb_bus.h"
#include "usb/usb_request.h"

namespace orvik {
namespace usb_bus {

std::string PortOf(libusb_device* device) {
    std::uint8_t numbers[8];
    const int count = libusb_get_port_numbers(device, numbers, sizeof numbers);
    if (count <= 0) {
        return {};
    }
    std::string port = std::to_string(libusb_get_bus_number(device)) + "-";
    for (int i = 0; i < count; ++i) {
        port += (i == 0 ? "" : ".") + std::to_string(numbers[i]);
    }
    return port;
}

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

constexpr const char* kNoPermissionText =
    "An MV300 is attached but this user may not open it: install the udev rule "
    "(/usr/lib/udev/rules.d/60-orvik.rules), join the plugdev group, and replug it.";
constexpr const char* kInUseText =
    "The MV300 is in use by another program. One program at a time can use it: close the "
    "other one (orvik or orvik-cli), then try again.";

// Hub ports in the order a person counts them: "1-2" before "1-10".
bool PortBefore(const AttachedInstrument& a, const AttachedInstrument& b) {
    auto numbers = [](const AttachedInstrument& device) {
        std::vector<int> parts;
        int value = 0;
        for (const char c : device.port + ".") {
            if (c >= '0' && c <= '9') {
                value = value * 10 + (c - '0');
            } else {
                parts.push_back(value);
                value = 0;
            }
        }
        return std::tuple{device.bus, parts, device.address};
    };
    return numbers(a) < numbers(b);
}

// "serial SIM0300001, USB port 1-4"
std::string WhereAndWhich(const AttachedInstrument& device) {
    std::string text = device.serial.empty() ? "" : "serial " + device.serial + ", ";
    return text +
           (device.port.empty() ? "bus " + std::to_string(device.bus) : "USB port " + device.port);
}

}  // namespace

using usb_bus::DeviceList;
using usb_bus::SerialOf;

struct LibusbDriverPort::Candidate {
    libusb_device* device = nullptr;  // valid while its device list lives
    libusb_device_descriptor descriptor{};
    AttachedInstrument found;
};

const char* DeviceAccessName(DeviceAccess access) {
    switch (access) {
        case DeviceAccess::Available:
            return "available";
        case DeviceAccess::NoPermission:
            return "no permission";
        case DeviceAccess::InUse:
            return "in use by another program";
        case DeviceAccess::Unknown:
            break;
    }
    return "unknown";
}

std::string AttachedInstrument::Describe() const {
    char text[64];
    std::snprintf(text, sizeof text, "MV300 on bus %d, address %d", bus, address);
    return std::string(text) + (port.empty() ? "" : " (USB port " + port + ")") +
           (serial.empty() ? "" : ", serial " + serial);
}

std::string LibusbDriverPort::PathOf(int bus, int address) {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", bus, address);
    return path;
}

std::vector<LibusbDriverPort::Candidate> LibusbDriverPort::Candidates(
    Kind kind, std::span<libusb_device*> devices) {
    std::vector<Candidate> found;
    for (libusb_device* device : devices) {
        Candidate candidate;
        candidate.device = device;
        if (libusb_get_device_descriptor(device, &candidate.descriptor) != 0) {
            continue;
        }
        const UsbId id{candidate.descriptor.idVendor, candidate.descriptor.idProduct};
        if (kind == Kind::Trigger ? id != settings_.trigger : !settings_.IsInstrument(id)) {
            continue;
        }
        candidate.found.bus = libusb_get_bus_number(device);
        candidate.found.address = libusb_get_device_address(device);
        candidate.found.port = usb_bus::PortOf(device);
        candidate.found.id = id;
        candidate.found.programRunning = candidate.descriptor.bcdDevice == kRunningReleaseNumber;
        found.push_back(candidate);
    }
    std::sort(found.begin(), found.end(),
              [](const Candidate& a, const Candidate& b) { return PortBefore(a.found, b.found); });
    return found;
}

std::vector<AttachedInstrument> LibusbDriverPort::Matching(Kind kind) {
    const DeviceList list(context_);
    std::vector<AttachedInstrument> found;
    for (const Candidate& candidate : Candidates(kind, list.Devices())) {
        found.push_back(candidate.found);
    }
    return found;
}

std::set<LibusbDriverPort::Place> LibusbDriverPort::InstrumentPlaces() {
    std::set<Place> places;
    for (const AttachedInstrument& instrument : Matching(Kind::Instrument)) {
        places.insert({instrument.bus, instrument.address});
    }
    return places;
}

// The instrument that came back is a device that was not on the bus before
// the release, with the running id, on the port the departing one used:
// never the departing controller itself (which may carry the running id as
// well, and stays listed for a moment), nor another instrument.
void LibusbDriverPort::WaitForRenumeration() {
    const Departure departure = *departure_;
    departure_.reset();
    DropClaim();
    while (true) {
        for (const AttachedInstrument& instrument : Matching(Kind::Instrument)) {
            const bool arrived = !departure.before.contains({instrument.bus, instrument.address});
            const bool samePort = departure.port.empty() || instrument.port == departure.port;
            if (arrived && samePort && instrument.id == settings_.instrumentRunning) {
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
    if (guid == kInstrumentInterfaceGuid) {
        return InstrumentPaths();
    }
    if (guid != kTriggerInterfaceGuid) {
        return {};
    }
    std::vector<std::string> paths;
    for (const AttachedInstrument& device : Matching(Kind::Trigger)) {
        paths.push_back(PathOf(device.bus, device.address));
    }
    return paths;
}

// The session's instrument, claimed: at most one path.
std::vector<std::string> LibusbDriverPort::InstrumentPaths() {
    if (departure_) {
        WaitForRenumeration();
    }
    const DeviceList list(context_);
    const std::vector<Candidate> candidates = Candidates(Kind::Instrument, list.Devices());
    if (claim_) {
        const bool present = std::any_of(candidates.begin(), candidates.end(), [&](const auto& c) {
            return c.found.bus == chosen_->bus && c.found.address == chosen_->address;
        });
        if (present) {
            Publish(candidates.size());
            return {PathOf(chosen_->bus, chosen_->address)};
        }
        DropClaim();  // it left the bus
    }
    if (claim_ == nullptr) {
        ClaimInstrument(candidates);
    }
    Publish(candidates.size());
    if (claim_ == nullptr) {
        return {};
    }
    return {PathOf(chosen_->bus, chosen_->address)};
}

// Whether `device` may be the session's instrument: the one chosen before
// (the same serial wherever it is; without serials to compare, whatever is
// on its port), else the one with the serial asked for, else any.
bool LibusbDriverPort::Wanted(const AttachedInstrument& device) const {
    if (chosen_) {
        if (!chosen_->serial.empty() && !device.serial.empty()) {
            return device.serial == chosen_->serial;
        }
        return !device.port.empty() && device.port == chosen_->port;
    }
    return settings_.serial.empty() || device.serial == settings_.serial;
}

void LibusbDriverPort::ClaimInstrument(const std::vector<Candidate>& candidates) {
    // Those that may be wanted but could not be had, with libusb's error,
    // and every one looked at, with its serial when it could be asked.
    std::vector<std::pair<AttachedInstrument, int>> refused;
    std::vector<AttachedInstrument> seen;
    for (const Candidate& candidate : candidates) {
        AttachedInstrument& device = seen.emplace_back(candidate.found);
        libusb_device_handle* handle = nullptr;
        const int opened = libusb_open(candidate.device, &handle);
        if (opened != 0) {
            // Its serial cannot be asked; by its port it may be the one.
            if (!chosen_ || Wanted(device)) {
                refused.emplace_back(device, opened);
            }
            continue;
        }
        device.serial = SerialOf(handle, candidate.descriptor);
        if (!Wanted(device)) {
            libusb_close(handle);
            continue;
        }
        libusb_set_auto_detach_kernel_driver(handle, 1);
        const int claimed = libusb_claim_interface(handle, 0);
        if (claimed != 0) {
            refused.emplace_back(device, claimed);
            libusb_close(handle);
            continue;
        }
        device.access = DeviceAccess::Available;
        claim_ = std::make_unique<Claim>(Claim{handle, EndpointTypes(candidate.device), 0});
        const bool first = !chosen_;
        chosen_ = device;
        SetProblem({});
        log_->Info(kLogSource,
                   "Using the " + device.Describe() + " (USB id " + device.id.ToString() + ")");
        if (first && candidates.size() > 1) {
            log_->Warning(kLogSource,
                          std::to_string(candidates.size()) +
                              " MV300s are attached; this program uses the " + device.Describe() +
                              ". Another one is chosen with --usb-serial SERIAL or the usb/serial "
                              "setting.");
        }
        return;
    }
    SetProblem(Unclaimed(seen, refused));
}

// Why no instrument was claimed, for the operator; empty when none is
// attached at all and none was used before.
std::string LibusbDriverPort::Unclaimed(
    const std::vector<AttachedInstrument>& attached,
    const std::vector<std::pair<AttachedInstrument, int>>& refused) const {
    if (!refused.empty()) {
        const int error = refused.front().second;
        if (error == LIBUSB_ERROR_ACCESS) {
            return kNoPermissionText;
        }
        if (error == LIBUSB_ERROR_BUSY) {
            return kInUseText;
        }
        return "An MV300 is attached but could not be opened (" +
               std::string(libusb_error_name(error)) + ").";
    }
    if (chosen_) {
        return "The MV300 in use until now (" + WhereAndWhich(*chosen_) +
               ") is no longer attached: plug it in again." +
               (attached.empty() ? ""
                                 : " Another MV300 is attached, but the program does not change "
                                   "instruments on its own: start it again to use that one.");
    }
    if (!settings_.serial.empty() && !attached.empty()) {
        std::string others;
        for (const AttachedInstrument& device : attached) {
            others += (others.empty() ? "" : ", ") + WhereAndWhich(device);
        }
        return "No MV300 with serial " + settings_.serial + " is attached (attached: " + others +
               "). The instrument is chosen with --usb-serial or the usb/serial setting.";
    }
    return {};
}

void LibusbDriverPort::SetProblem(std::string problem) {
    if (problem != problem_ && !problem.empty()) {
        log_->Warning(kLogSource, problem);
    }
    problem_ = std::move(problem);
}

std::string LibusbDriverPort::InstrumentProblem() {
    return problem_;
}

std::string LibusbDriverPort::ErrorText(std::uint32_t error) {
    switch (error) {
        case os_error::kAccessDenied:
            return "Access is denied: this user may not open the USB device. Install the udev rule "
                   "(/usr/lib/udev/rules.d/60-orvik.rules), join the plugdev group, and replug it.";
        case os_error::kSharingViolation:
            return "The USB device is in use by another program.";
        default:
            return SystemErrorText(error);
    }
}

void LibusbDriverPort::Publish(std::size_t attached) {
    std::string summary;
    if (claim_ != nullptr) {
        summary = chosen_->Describe() +
                  (attached > 1 ? " - one of " + std::to_string(attached) + " attached" : "");
    } else if (problem_ == kNoPermissionText) {
        summary = "MV300 attached, no permission (udev rule)";
    } else if (problem_ == kInUseText) {
        summary = "MV300 in use by another program";
    } else if (chosen_) {
        summary = "MV300 " + WhereAndWhich(*chosen_) + " is gone";
    } else if (!problem_.empty()) {
        summary = "MV300 not available";
    }
    const std::lock_guard lock(statusMutex_);
    inUse_ = chosen_;
    attached_ = attached;
    summary_ = summary;
}

std::optional<AttachedInstrument> LibusbDriverPort::InstrumentInUse() const {
    const std::lock_guard lock(statusMutex_);
    return inUse_;
}

std::string LibusbDriverPort::InstrumentSummary() const {
    const std::lock_guard lock(statusMutex_);
    return summary_;
}

std::vector<AttachedInstrument> LibusbDriverPort::Instruments() {
    const DeviceList list(context_);
    std::vector<AttachedInstrument> instruments;
    for (const Candidate& candidate : Candidates(Kind::Instrument, list.Devices())) {
        AttachedInstrument instrument = candidate.found;
        if (claim_ && chosen_->bus == instrument.bus && chosen_->address == instrument.address) {
            instruments.push_back(*chosen_);
            continue;
        }
        libusb_device_handle* handle = nullptr;
        const int opened = libusb_open(candidate.device, &handle);
        if (opened == 0) {
            instrument.serial = SerialOf(handle, candidate.descriptor);
            // A claim that another program holds is refused; one made here
            // is given back at once.
            const int claimed = libusb_claim_interface(handle, 0);
            instrument.access = claimed == 0                   ? DeviceAccess::Available
                                : claimed == LIBUSB_ERROR_BUSY ? DeviceAccess::InUse
                                                               : DeviceAccess::Unknown;
            if (claimed == 0) {
                libusb_release_interface(handle, 0);
            }
            libusb_close(handle);
        } else {
            instrument.access =
                opened == LIBUSB_ERROR_ACCESS ? DeviceAccess::NoPermission : DeviceAccess::Unknown;
        }
        instruments.push_back(instrument);
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
