#include "emulated_usb_bus.h"

// clang-format off
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
// clang-format on
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <stdexcept>

#include <utility>
#include "simulator/sim_images.h"

namespace orvik::testing {
namespace {

constexpr std::size_t kSetupSize = 8;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

std::vector<std::uint8_t> TriggerDescriptors(UsbId id) {
    return {18, 1, 0x00, 0x02, 0, 0, 0, 64, static_cast<std::uint8_t>(id.vendor),
            static_cast<std::uint8_t>(id.vendor >> 8), static_cast<std::uint8_t>(id.product),
            static_cast<std::uint8_t>(id.product >> 8), 0x01, 0x00, 0, 0, 0, 1,
            // one configuration, one interface without endpoints
            9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0, 0, 0};
}

}  // namespace

bool InEmulatedEnvironment() {
    return umockdev_in_mock_environment() != 0;
}

bool WriteInstrumentImages(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return sim::WriteSimulatorImages(folder, kInstrumentProgramSignature);
}

struct EmulatedUsbBus::Node {
    std::string sysPath;
    int instrument = kTrigger;
    bool alive = true;
    // The open file whose interface claim holds, if any.
    UMockdevIoctlClient* claimant = nullptr;
};

// A request block libusb submitted, held (with umockdev's copies of it and
// of its buffer) until libusb reaps it.
struct EmulatedUsbBus::Urb {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;
    std::string devnode;
    // The open file it was submitted on: only that one reaps it.
    UMockdevIoctlClient* owner = nullptr;

    usbdevfs_urb& Block() const { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
    std::span<std::uint8_t> Bytes() const {
        return {buffer->data, static_cast<std::size_t>(Block().buffer_length)};
    }
    void Release() const {
        umockdev_ioctl_data_unref(buffer);
        umockdev_ioctl_data_unref(urb);
    }
};

EmulatedUsbBus::EmulatedUsbBus(Clock& clock, sim::Mv300Options options, const UsbSettings& settings,
                               int renumerationDelayMs)
    : clock_(clock), settings_(settings), renumerationDelayMs_(renumerationDelayMs) {
    if (settings.instrumentRunning !=
        UsbId{sim::SimulatedMv300::kVendorId, sim::SimulatedMv300::kProductId}) {
        throw std::invalid_argument("the simulated MV300 runs with its own ids");
    }
    AddInstrument(std::move(options));
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUsbBus::HandleIoctl), this);
    busThread_ = std::thread([this] { BusLoop(); });
}

EmulatedUsbBus::~EmulatedUsbBus() {
    {
        const std::lock_guard lock(busMutex_);
        stopping_ = true;
    }
    busWake_.notify_all();
    busThread_.join();
    {
        const std::lock_guard lock(mutex_);
        for (const Urb& urb : waiting_) {
            urb.Release();
        }
        for (const auto& [node, urbs] : completed_) {
            for (const Urb& urb : urbs) {
                urb.Release();
            }
        }
        waiting_.clear();
        completed_.clear();
    }
    g_object_unref(handler_);
    g_object_unref(testbed_);
    DenyDeviceNodes(false);
}

int EmulatedUsbBus::AddInstrument(sim::Mv300Options options) {
    options.coldIds = std::array{settings_.instrumentCold.vendor, settings_.instrumentCold.product};
    if (options.programSignature.empty()) {
        options.programSignature = kInstrumentProgramSignature;
    }
    const std::lock_guard lock(mutex_);
    instruments_.push_back(
        {std::make_unique<sim::SimulatedMv300>(std::move(options), &clock_), {}});
    return static_cast<int>(instruments_.size()) - 1;
}

void EmulatedUsbBus::BusLoop() {
    std::unique_lock lock(busMutex_);
    while (true) {
        busWake_.wait(lock, [this] { return stopping_ || !busActions_.empty(); });
        if (busActions_.empty()) {
            return;
        }
        std::function<void()> action = std::move(busActions_.front());
        busActions_.pop_front();
        lock.unlock();
        action();
        lock.lock();
    }
}

void EmulatedUsbBus::Later(std::function<void()> action, int delayMs) {
    {
        const std::lock_guard lock(busMutex_);
        busActions_.push_back([action = std::move(action), delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            action();
        });
    }
    busWake_.notify_all();
}

// The trigger port sits on hub port 1-9, instrument i on 1-(i + 1): a device
// keeps its port when it leaves the bus and comes back, with a new address.
void EmulatedUsbBus::AddDevice(int instrument) {
    std::vector<std::uint8_t> descriptors;
    int address = 0;
    std::string devnode;
    const std::string sysPath =
        "/devices/usb1/1-" + std::to_string(instrument == kTrigger ? 9 : instrument + 1);
    {
        const std::lock_guard lock(mutex_);
        address = nextAddress_++;
        char path[32];
        std::snprintf(path, sizeof path, "/dev/bus/usb/001/%03d", address);
        devnode = path;
        if (instrument == kTrigger) {
            descriptors = TriggerDescriptors(settings_.trigger);
        } else {
            sim::SimulatedMv300& device =
                *instruments_.at(static_cast<std::size_t>(instrument)).device;
            descriptors = device.DeviceDescriptor();
            const std::vector<std::uint8_t> configuration = device.ConfigurationDescriptor();
            descriptors.insert(descriptors.end(), configuration.begin(), configuration.end());
            instruments_[static_cast<std::size_t>(instrument)].devnode = devnode;
        }
        nodes_[devnode] = Node{sysPath, instrument, true, nullptr};
    }
    // A device that left from this port may still be on its way out.
    const std::lock_guard testbed(testbedMutex_);
    umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), handler_, nullptr);
    char number[8];
    std::snprintf(number, sizeof number, "%03d", address);
    const std::string record = "P: " + sysPath + "\n" + "N: " + devnode.substr(5) + "\n" +
                               "E: SUBSYSTEM=usb\n" + "E: DRIVER=usb\n" + "E: BUSNUM=001\n" +
                               "E: DEVNUM=" + number + "\n" + "E: DEVNAME=" + devnode + "\n" +
                               "E: DEVTYPE=usb_device\n" + "A: bConfigurationValue=1\\n\n" +
                               "A: busnum=1\\n\n" + "A: devnum=" + std::to_string(address) +
                               "\\n\n" + "A: speed=480\\n\n" +
                               "H: descriptors=" + Hex(descriptors) + "\n";
    umockdev_testbed_add_from_string(testbed_, record.c_str(), nullptr);
}

void EmulatedUsbBus::RemoveDevice(const std::string& devnode) {
    std::string sysPath;
    {
        const std::lock_guard lock(mutex_);
        sysPath = nodes_.at(devnode).sysPath;
    }
    const std::lock_guard testbed(testbedMutex_);
    umockdev_testbed_uevent(testbed_, ("/sys" + sysPath).c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, ("/sys" + sysPath).c_str());
}

void EmulatedUsbBus::PlugInInstrument(int instrument) {
    AddDevice(instrument);
}

void EmulatedUsbBus::PlugInWhileRenumerating(int instrument) {
    const std::lock_guard lock(mutex_);
    plugInWhileRenumerating_ = instrument;
}

void EmulatedUsbBus::PlugInTriggerPort() {
    AddDevice(kTrigger);
}

void EmulatedUsbBus::UnplugInstrument(int instrument) {
    std::string devnode;
    {
        const std::lock_guard lock(mutex_);
        devnode = instruments_.at(static_cast<std::size_t>(instrument)).devnode;
        LeaveBus(nodes_.at(devnode));
    }
    RemoveDevice(devnode);
}

void EmulatedUsbBus::UnplugAtRequest(int request) {
    const std::lock_guard lock(mutex_);
    unplugAt_ = instrumentRequests_ + request;
}

// Unplugged: what the device had not answered ends with it, and its program
// and FPGA configuration are lost.
void EmulatedUsbBus::LeaveBus(Node& node) {
    node.alive = false;
    EndRequests(-ENODEV);
    Instrument& instrument = instruments_.at(static_cast<std::size_t>(node.instrument));
    instrument.device->PowerCycle();
    instrument.devnode.clear();
}

void EmulatedUsbBus::PressInput(int input, bool pressed) {
    const std::lock_guard lock(mutex_);
    inputs_.at(static_cast<std::size_t>(input - 1)) = pressed;
}

void EmulatedUsbBus::WithInstrument(int instrument,
                                    const std::function<void(sim::SimulatedMv300&)>& use) {
    const std::lock_guard lock(mutex_);
    use(*instruments_.at(static_cast<std::size_t>(instrument)).device);
}

int EmulatedUsbBus::InstrumentAddress(int instrument) const {
    const std::lock_guard lock(mutex_);
    const std::string& devnode = instruments_.at(static_cast<std::size_t>(instrument)).devnode;
    return devnode.empty() ? 0 : std::stoi(devnode.substr(17));
}

std::string EmulatedUsbBus::InstrumentPort(int instrument) const {
    return "1-" + std::to_string(instrument + 1);
}

std::size_t EmulatedUsbBus::WaitingRequests() const {
    const std::lock_guard lock(mutex_);
    return waiting_.size();
}

std::vector<std::array<std::uint8_t, 8>> EmulatedUsbBus::TriggerSetups() const {
    const std::lock_guard lock(mutex_);
    return triggerSetups_;
}

int EmulatedUsbBus::HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<EmulatedUsbBus*>(self)->Handle(client) ? TRUE : FALSE;
}

bool EmulatedUsbBus::Handle(UMockdevIoctlClient* client) {
    const std::lock_guard lock(mutex_);
    ++ioctls_;
    const auto found = nodes_.find(umockdev_ioctl_client_get_devnode(client));
    if (found == nodes_.end()) {
        return false;
    }
    Node& node = found->second;
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    if (!node.alive && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB &&
        request != USBDEVFS_DISCARDURB) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return true;
    }
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* data = umockdev_ioctl_data_resolve(
                umockdev_ioctl_client_get_arg(client), 0, sizeof(std::uint32_t), nullptr);
            const std::uint32_t capabilities = USBDEVFS_CAP_BULK_CONTINUATION |
                                               USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                               USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(data->data, &capabilities, sizeof capabilities);
            umockdev_ioctl_data_unref(data);
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:
            Claim(client, node, true);
            return true;
        case USBDEVFS_RELEASEINTERFACE:
            Claim(client, node, false);
            return true;
        case USBDEVFS_RESETEP:
        case USBDEVFS_SETINTERFACE:
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return true;
        case USBDEVFS_CLEAR_HALT:
            ClearHalt(client, node);
            return true;
        case USBDEVFS_SUBMITURB:
            SubmitUrb(client, node);
            return true;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            ReapUrb(client, node);
            return true;
        case USBDEVFS_DISCARDURB:
            DiscardUrb(client, node);
            return true;
        default:
            std::fprintf(stderr, "emulated USB bus: unhandled ioctl 0x%lx\n", request);
            return false;
    }
}

// Another open file's claim holds: the kernel refuses the interface.
void EmulatedUsbBus::Claim(UMockdevIoctlClient* client, Node& node, bool claim) {
    if (claim && node.claimant != nullptr && node.claimant != client) {
        umockdev_ioctl_client_complete(client, -1, EBUSY);
        return;
    }
    if (claim) {
        node.claimant = client;
    } else if (node.claimant == client) {
        node.claimant = nullptr;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBus::ClearHalt(UMockdevIoctlClient* client, Node& node) {
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                          sizeof(unsigned int), nullptr);
    unsigned int endpoint = 0;
    std::memcpy(&endpoint, data->data, sizeof endpoint);
    umockdev_ioctl_data_unref(data);
    // The firmware empties the pipe when the host clears its halt.
    if (node.instrument != kTrigger) {
        sim::SimulatedMv300& device =
            *instruments_.at(static_cast<std::size_t>(node.instrument)).device;
        device.AbortPipe(static_cast<std::uint8_t>(endpoint));
        device.ResetPipe(static_cast<std::uint8_t>(endpoint));
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBus::SubmitUrb(UMockdevIoctlClient* client, Node& node) {
    Urb urb;
    urb.devnode = umockdev_ioctl_client_get_devnode(client);
    urb.owner = client;
    urb.urb = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                          sizeof(usbdevfs_urb), nullptr);
    urb.buffer =
        umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer),
                                    static_cast<gsize>(urb.Block().buffer_length), nullptr);
    urb.Block().status = 0;
    urb.Block().actual_length = 0;
    if (node.instrument != kTrigger && ++instrumentRequests_ == unplugAt_) {
        const std::string leaving = urb.devnode;
        LeaveBus(node);
        urb.Release();
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        Later([this, leaving] { RemoveDevice(leaving); }, 0);
        return;
    }
    if (Serve(node, urb)) {
        completed_[urb.owner].push_back(urb);
    } else {
        waiting_.push_back(urb);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    RetryWaiting();
}

// Answers `urb` from the device; false when the device has nothing yet.
bool EmulatedUsbBus::Serve(Node& node, Urb& urb) {
    usbdevfs_urb& block = urb.Block();
    const std::span<std::uint8_t> bytes = urb.Bytes();
    sim::DeviceAnswer answer;
    // The trigger port has no simulated controller; its requests end below.
    sim::SimulatedMv300& device =
        *instruments_.at(static_cast<std::size_t>(std::max(node.instrument, 0))).device;
    if (block.type == USBDEVFS_URB_TYPE_CONTROL) {
        if (bytes.size() < kSetupSize) {
            block.status = -EINVAL;
            return true;
        }
        const sim::SetupPacket setup{bytes[0], bytes[1],
                                     static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8)),
                                     static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8)),
                                     static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8))};
        const std::span<std::uint8_t> data =
            bytes.subspan(kSetupSize, std::min<std::size_t>(setup.length, bytes.size() - 8));
        if (node.instrument == kTrigger) {
            std::array<std::uint8_t, 8> seen{};
            std::copy_n(bytes.begin(), kSetupSize, seen.begin());
            triggerSetups_.push_back(seen);
            if (!data.empty()) {
                // A set bit is an idle input.
                data[0] = static_cast<std::uint8_t>((inputs_[0] ? 0 : 1) | (inputs_[1] ? 0 : 2));
            }
            block.actual_length = static_cast<int>(data.size());
            return true;
        }
        answer = device.Control(setup, data);
        if (device.TakeRenumeration()) {
            // The new program starts: the controller leaves the bus and comes
            // back as the running instrument, on the same port.
            const std::string leaving = urb.devnode;
            const int instrument = node.instrument;
            node.alive = false;
            instruments_[static_cast<std::size_t>(instrument)].devnode.clear();
            if (const auto arriving = std::exchange(plugInWhileRenumerating_, std::nullopt)) {
                Later([this, arriving] { AddDevice(*arriving); }, 0);
            }
            Later(
                [this, leaving, instrument] {
                    RemoveDevice(leaving);
                    AddDevice(instrument);
                    ++renumerations_;
                },
                renumerationDelayMs_);
        }
    } else if ((block.endpoint & 0x80) != 0) {
        answer = device.PipeIn(block.endpoint, bytes);
    } else {
        answer = device.PipeOut(block.endpoint, bytes);
    }
    switch (answer.kind) {
        case sim::DeviceAnswer::Kind::Done:
            block.actual_length = static_cast<int>(answer.bytes);
            return true;
        case sim::DeviceAnswer::Kind::Stall:
            block.status = -EPIPE;
            return true;
        case sim::DeviceAnswer::Kind::Nak:
            return false;
    }
    return true;
}

void EmulatedUsbBus::RetryWaiting() {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        Node& node = nodes_.at(it->devnode);
        if (node.alive && Serve(node, *it)) {
            completed_[it->owner].push_back(*it);
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
}

void EmulatedUsbBus::ReapUrb(UMockdevIoctlClient* client, Node& node) {
    std::deque<Urb>& done = completed_[client];
    if (done.empty()) {
        umockdev_ioctl_client_complete(client, -1, node.alive ? EAGAIN : ENODEV);
        return;
    }
    const Urb urb = done.front();
    done.pop_front();
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client),
                                                             0, sizeof(gpointer), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.urb);
    umockdev_ioctl_data_unref(pointer);
    urb.Release();
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBus::AnswerAtNextDiscard(std::uint8_t fill) {
    const std::lock_guard lock(mutex_);
    answerAtDiscard_ = fill;
}

void EmulatedUsbBus::DiscardUrb(UMockdevIoctlClient* client, Node&) {
    const gulong address = reinterpret_cast<gulong>(
        *reinterpret_cast<void**>(umockdev_ioctl_client_get_arg(client)->data));
    const auto found = std::find_if(waiting_.begin(), waiting_.end(), [&](const Urb& urb) {
        return urb.urb->client_addr == address;
    });
    if (found == waiting_.end()) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    if (answerAtDiscard_) {
        // Answered an instant before the discard arrived, as the kernel
        // would then report: the request is there to be reaped, whole.
        const std::span<std::uint8_t> bytes = found->Bytes();
        std::fill(bytes.begin(), bytes.end(), *std::exchange(answerAtDiscard_, std::nullopt));
        found->Block().actual_length = static_cast<int>(bytes.size());
    } else {
        found->Block().status = -ENOENT;
    }
    const bool late = found->Block().status == 0;
    completed_[found->owner].push_back(*found);
    waiting_.erase(found);
    umockdev_ioctl_client_complete(client, late ? -1 : 0, late ? EINVAL : 0);
}

void EmulatedUsbBus::EndRequests(int status) {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (!nodes_.at(it->devnode).alive) {
            it->Block().status = status;
            completed_[it->owner].push_back(*it);
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace orvik::testing
