// The driver work of one acquisition (opening the instrument and reading its
// descriptors, the five register writes, eight 2048-byte sample blocks with
// their commands, closing) through the libusb driver port over the emulated
// USB bus, next to the same work through the simulated driver port. The
// instrument's pauses pass on a virtual clock and cost nothing; the
// simulated instrument behind both does the same work, so the difference is
// the real port's overhead. Target: under 2 ms more than the simulated port.
//
// Run under umockdev-wrapper: umockdev-wrapper build/bench/usb/bench_usb_acquire
#include <benchmark/benchmark.h>

#include "base/clock.h"
#include "instrument/acquisition.h"
#include "instrument/instrument_link.h"
#include "instrument/usb_device.h"
#include "simulator/simulated_driver_port.h"
#include "usb/emulated_usb_bus.h"
#include "usb/libusb_driver_port.h"

namespace {

using namespace orvik;

constexpr MeasurementMode kMode = MeasurementMode::SingleEnded;

// Returns false when a block did not come whole.
bool DriverWork(DriverPort& port, Clock& clock) {
    CUsbDevice device(port, kInstrumentInterfaceGuid, false);
    InstrumentLink link(device, clock);
    if (!device.Open(0)) {
        return false;
    }
    for (const RegisterStep& step : AcquisitionRegisterSteps(kMode)) {
        link.RegisterWrite(step.value);
        clock.SleepMs(step.pauseAfterMs);
    }
    bool whole = true;
    for (int block = 0; block < kBlocksPerAcquisition; ++block) {
        whole = link.AcquireBlock().size() == kSamplesPerBlock && whole;
    }
    device.Close();
    return whole;
}

void BM_DriverWorkSimulatedPort(benchmark::State& state) {
    testing::SharedVirtualClock clock;
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    sim::SimulatedDriverPort port(clock, options);
    for (auto _ : state) {
        if (!DriverWork(port, clock)) {
            state.SkipWithError("the simulated instrument did not give a whole record");
            return;
        }
    }
}

void BM_DriverWorkLibusbPort(benchmark::State& state) {
    testing::SharedVirtualClock clock;
    sim::Mv300Options options;
    options.warm = true;
    testing::EmulatedUsbBus bus(clock, options, UsbSettings{});
    if (!testing::InEmulatedEnvironment()) {
        state.SkipWithError("run under umockdev-wrapper");
        return;
    }
    bus.PlugInInstrument();
    auto port = LibusbDriverPort::Create(UsbSettings{});
    if (!port) {
        state.SkipWithError(port.Error().Detail.c_str());
        return;
    }
    for (auto _ : state) {
        if (!DriverWork(**port, clock)) {
            state.SkipWithError("the emulated instrument did not give a whole record");
            return;
        }
    }
}

}  // namespace

BENCHMARK(BM_DriverWorkSimulatedPort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DriverWorkLibusbPort)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
