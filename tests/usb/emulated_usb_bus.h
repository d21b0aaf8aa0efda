#pragma once

// The simulated MV300 and a trigger port as USB devices on a bus emulated by
// umockdev: libusb runs unmodified (the test runs under umockdev-wrapper,
// which preloads libumockdev-preload) and finds the devices in the emulated
// sysfs; the usbdevfs requests it sends to their device nodes are answered
// here, by the simulated instrument's USB controller and firmware.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
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

class EmulatedUsbBus {
  public:
    // The instrument's controller reports `settings.instrumentCold` until its
    // program runs and `instrumentRunning` after; it comes back on the bus
    // `renumerationDelayMs` (real time) after the program starts.
    EmulatedUsbBus(Clock& clock, sim::Mv300Options options, const UsbSettings& settings,
                   int renumerationDelayMs = 30);
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    void PlugInInstrument();
    // The cable is pulled: requests in flight end as the kernel ends them
    // (no device), new ones are refused, and the device leaves the bus.
    void UnplugInstrument();
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
    void WithInstrument(const std::function<void(sim::SimulatedMv300&)>& use);
    int InstrumentAddress() const;
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

    static int HandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool Handle(UMockdevIoctlClient* client);
    void SubmitUrb(UMockdevIoctlClient* client, Node& node);
    void ReapUrb(UMockdevIoctlClient* client, Node& node);
    void DiscardUrb(UMockdevIoctlClient* client, Node& node);
    void ClearHalt(UMockdevIoctlClient* client);
    bool Serve(Node& node, Urb& urb);
    void RetryWaiting();
    void EndRequests(int status);
    void LeaveBus(Node& node);
    void AddDevice(bool trigger);
    void RemoveDevice(const std::string& devnode);
    void Later(std::function<void()> action, int delayMs);
    void BusLoop();

    sim::SimulatedMv300 instrument_;
    UsbSettings settings_;
    int renumerationDelayMs_;
    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;

    mutable std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::deque<Urb> waiting_;
    std::map<UMockdevIoctlClient*, std::deque<Urb>> completed_;
    std::string instrumentNode_;
    int nextAddress_ = 5;
    std::array<bool, 2> inputs_{};
    std::vector<std::array<std::uint8_t, 8>> triggerSetups_;
    std::atomic<int> renumerations_{0};
    std::atomic<long> ioctls_{0};
    int instrumentRequests_ = 0;
    std::optional<int> unplugAt_;
    std::optional<std::uint8_t> answerAtDiscard_;

    std::mutex busMutex_;
    std::condition_variable busWake_;
    std::deque<std::function<void()>> busActions_;
    bool stopping_ = false;
    std::thread busThread_;
};

}  // namespace orvik::testing
