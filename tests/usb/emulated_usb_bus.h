#pragma once

// Simulated MV300s and a trigger port as USB devices on a bus emulated by
// umockdev: libusb runs unmodified (the test runs under umockdev-wrapper,
// which preloads libumockdev-preload) and finds the devices in the emulated
// sysfs; the usbdevfs requests it sends to their device nodes are answered
// here, by the simulated instruments' USB controllers and firmware. As the
// kernel does, an interface claimed through one open file is refused to
// another, and device nodes can be made to refuse this user.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "simulator/simulated_mv300.h"
#include "usb/usb_settings.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace orvik::testing {

// Time that passes only when slept on, readable from the emulated bus's
// threads while the instrument code sleeps on it.
class SharedVirtualClock : public Clock {
  public:
    void SleepMs(std::int64_t milliseconds) override { now_ += milliseconds; }
    std::int64_t NowMs() const override { return now_.load(); }

  private:
    std::atomic<std::int64_t> now_{0};
};

// True when the process runs with umockdev's preload library and a testbed
// exists (an EmulatedUsbBus has been made).
bool InEmulatedEnvironment();

// The instruments on this bus stand for real ones: their controllers run an
// instrument's program, never the simulated MV300's, which the real driver
// port refuses to load. These are such images.
inline constexpr const char* kInstrumentProgramSignature = "MV300 CONTROLLER (EMULATED BENCH) 1.00";
bool WriteInstrumentImages(const std::filesystem::path& folder);

// Every USB device node refuses to be opened while set, as for a user
// without the udev rule (any process may do that with the kernel's nodes).
void DenyDeviceNodes(bool denied);

class EmulatedUsbBus {
  public:
    // Instrument 0, on hub port 1-1. Each instrument's controller reports
    // `settings.instrumentCold` until its program runs and
    // `instrumentRunning` after; it comes back on the bus, on its port,
    // `renumerationDelayMs` (real time) after the program starts. Its
    // controller takes kInstrumentProgramSignature's program unless
    // `options` name another.
    EmulatedUsbBus(Clock& clock, sim::Mv300Options options, const UsbSettings& settings,
                   int renumerationDelayMs = 30);
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    // Another instrument, not plugged in yet, on hub port 1-(index + 1).
    int AddInstrument(sim::Mv300Options options);
    void PlugInInstrument(int instrument = 0);
    // The cable is pulled: requests in flight end as the kernel ends them
    // (no device), new ones are refused, and the device leaves the bus.
    void UnplugInstrument(int instrument = 0);
    // `instrument` is plugged in the moment another one leaves the bus to
    // start its program, so that it arrives before that one is back.
    void PlugInWhileRenumerating(int instrument);
    void PlugInTriggerPort();
    void PressInput(int input, bool pressed);
    // The cable is pulled as the instrument's `request`th request from now
    // (1: the next) reaches it.
    void UnplugAtRequest(int request);

    // The next discard of a waiting instrument request comes too late: the
    // device answers the request in full with `fill` bytes just before, and
    // the discard finds nothing left to cancel.
    void AnswerAtNextDiscard(std::uint8_t fill);

    // The instrument, with the bus's lock held while `use` runs.
    void WithInstrument(const std::function<void(sim::SimulatedMv300&)>& use) {
        WithInstrument(0, use);
    }
    void WithInstrument(int instrument, const std::function<void(sim::SimulatedMv300&)>& use);
    // Its address on the bus now (0 while it is not on it), and its hub port.
    int InstrumentAddress(int instrument = 0) const;
    std::string InstrumentPort(int instrument = 0) const;
    // Returns to the bus after a program started, all instruments together.
    int Renumerations() const { return renumerations_; }
    // usbdevfs requests answered so far (each a round trip through umockdev).
    long IoctlsHandled() const { return ioctls_; }
    // Instrument requests the device has not answered yet.
    std::size_t WaitingRequests() const;
    // The trigger requests answered, with the setup packet each came with.
    std::vector<std::array<std::uint8_t, 8>> TriggerSetups() const;

  private:
    struct Node;
    struct Urb;
    struct Instrument {
        std::unique_ptr<sim::SimulatedMv300> device;
        std::string devnode;  // while on the bus
    };
    static constexpr int kTrigger = -1;

    static int HandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool Handle(UMockdevIoctlClient* client);
    void SubmitUrb(UMockdevIoctlClient* client, Node& node);
    void ReapUrb(UMockdevIoctlClient* client, Node& node);
    void DiscardUrb(UMockdevIoctlClient* client, Node& node);
    void ClearHalt(UMockdevIoctlClient* client, Node& node);
    void Claim(UMockdevIoctlClient* client, Node& node, bool claim);
    bool Serve(Node& node, Urb& urb);
    void RetryWaiting();
    void EndRequests(int status);
    void LeaveBus(Node& node);
    void AddDevice(int instrument);
    void RemoveDevice(const std::string& devnode);
    void Later(std::function<void()> action, int delayMs);
    void BusLoop();

    Clock& clock_;
    std::vector<Instrument> instruments_;
    UsbSettings settings_;
    int renumerationDelayMs_;
    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;

    // Held while a device is added to or removed from the emulated sysfs.
    std::mutex testbedMutex_;
    mutable std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::deque<Urb> waiting_;
    std::map<UMockdevIoctlClient*, std::deque<Urb>> completed_;
    int nextAddress_ = 5;
    std::array<bool, 2> inputs_{};
    std::vector<std::array<std::uint8_t, 8>> triggerSetups_;
    std::atomic<int> renumerations_{0};
    std::atomic<long> ioctls_{0};
    int instrumentRequests_ = 0;
    std::optional<int> unplugAt_;
    std::optional<std::uint8_t> answerAtDiscard_;
    std::optional<int> plugInWhileRenumerating_;

    std::mutex busMutex_;
    std::condition_variable busWake_;
    std::deque<std::function<void()>> busActions_;
    bool stopping_ = false;
    std::thread busThread_;
};

}  // namespace orvik::testing
