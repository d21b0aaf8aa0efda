#pragma once

// The program's instrument station over the libusb driver port, on an
// emulated bus with one simulated MV300 (instrument 0, hub port 1-1) and a
// trigger port; tests add instruments to the bus as they need.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "../instrument/link_test_support.h"
#include "emulated_usb_bus.h"
#include "instrument/instrument_station.h"
#include "simulator/coupon_profile.h"
#include "test_files.h"
#include "usb/libusb_driver_port.h"

namespace orvik::testing {

using Clock = std::chrono::steady_clock;

inline constexpr MeasurementMode kSingle = MeasurementMode::SingleEnded;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An environment variable set (or unset) for as long as this lives.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedEnvironment() { Set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    void Set(const std::optional<std::string>& value) {
        value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

inline UsbSettings TestSettings() {
    UsbSettings settings;
    settings.renumerationWaitMs = 3000;
    return settings;
}

inline sim::Mv300Options InstrumentOptions(bool warm, const std::string& serial = "SIM0300001") {
    sim::Mv300Options options;
    options.warm = warm;
    options.serialNumber = serial;
    return options;
}

class EmulatedInstrument : public ::testing::Test {
  protected:
    // The instrument's time passes on `instrumentClock`, by default the
    // virtual one that the instrument code here sleeps on.
    explicit EmulatedInstrument(bool warm = true, orvik::Clock* instrumentClock = nullptr,
                                UsbSettings usb = TestSettings(), int renumerationDelayMs = 30)
        : settings(usb),
          bus(instrumentClock != nullptr ? *instrumentClock : static_cast<orvik::Clock&>(clock),
              InstrumentOptions(warm), settings, renumerationDelayMs) {}

    void SetUp() override {
        ASSERT_TRUE(InEmulatedEnvironment())
            << "run under umockdev-wrapper (CTest does), so that libusb sees the emulated bus";
        ASSERT_TRUE(WriteInstrumentImages(images.Path()));
        bus.PlugInInstrument();
        bus.PlugInTriggerPort();
        auto created = LibusbDriverPort::Create(settings);
        ASSERT_TRUE(created) << created.Error().Detail;
        port = std::move(*created);
    }

    InstrumentStation& Station() {
        if (!station) {
            station = std::make_unique<InstrumentStation>(*port, clock, prompts);
            station->SetDumpPath("");
        }
        return *station;
    }
    StartUpFindings StartUp() {
        StartUpOptions options;
        options.imageFolder = images.Path();
        return Station().StartUp(options);
    }
    // The instrument has left the bus as the system sees it (bounded).
    bool WaitUntilGone() { return WaitUntilAttached(0); }
    bool WaitUntilAttached(std::size_t count) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (port->Instruments().size() != count) {
            if (Clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    void AttachCoupon(MeasurementMode mode, const std::string& profile) {
        bus.WithInstrument([&](sim::SimulatedMv300& instrument) {
            instrument.Attach(mode,
                              sim::CableAttachment::Coupon(*sim::CouponProfile::Parse(profile)));
        });
    }

    SharedVirtualClock clock;
    const UsbSettings settings;
    EmulatedUsbBus bus;
    TemporaryFolder images;
    std::unique_ptr<LibusbDriverPort> port;
    RecordingPrompts prompts;
    std::unique_ptr<InstrumentStation> station;
};

// For the command-line tool, which sleeps for real as with an instrument.
class EmulatedInstrumentOnTheWallClock : public EmulatedInstrument {
  protected:
    EmulatedInstrumentOnTheWallClock() : EmulatedInstrument(true, &wallClock) {}
    static inline SystemClock wallClock;
};

}  // namespace orvik::testing
