// The driver work of one acquisition (the five register writes and eight
// 2048-byte sample blocks with their commands; and the same with opening the
// instrument, reading its descriptors and closing it around them) through
// the libusb driver port over the emulated USB bus, next to the same work
// through the simulated driver port. The
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

// The register set-up and eight sample blocks on an open instrument; false
// when a block did not come whole.
bool Record(InstrumentLink& link, Clock& clock) {
    for (const RegisterStep& step : AcquisitionRegisterSteps(kMode)) {
        link.RegisterWrite(step.value);
        clock.SleepMs(step.pauseAfterMs);
    }
    bool whole = true;
    for (int block = 0; block < kBlocksPerAcquisition; ++block) {
        whole = link.AcquireBlock().size() == kSamplesPerBlock && whole;
    }
    return whole;
}

// One acquisition's driver work on `port`: with `reopen`, the instrument is
// opened (descriptors read, interface claimed) and closed around each
// record, as every acquisition of the program does.
void DriverWork(benchmark::State& state, DriverPort& port, Clock& clock, bool reopen) {
    CUsbDevice device(port, kInstrumentInterfaceGuid, false);
    InstrumentLink link(device, clock);
    if (!reopen && !device.Open(0)) {
        state.SkipWithError("the instrument could not be opened");
        return;
    }
    for (auto _ : state) {
        if (reopen && !device.Open(0)) {
            state.SkipWithError("the instrument could not be opened");
            return;
        }
        if (!Record(link, clock)) {
            state.SkipWithError("the instrument did not give a whole record");
            return;
        }
        if (reopen) {
            device.Close();
        }
    }
}

void Simulated(benchmark::State& state, bool reopen) {
    testing::SharedVirtualClock clock;
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    sim::SimulatedDriverPort port(clock, options);
    DriverWork(state, port, clock, reopen);
}

void Libusb(benchmark::State& state, bool reopen) {
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
    const long before = bus.IoctlsHandled();
    DriverWork(state, **port, clock, reopen);
    // What the emulation costs: every usbdevfs request is a socket round
    // trip to umockdev's thread, where a kernel would answer in microseconds.
    state.counters["ioctls"] = benchmark::Counter(static_cast<double>(bus.IoctlsHandled() - before),
                                                  benchmark::Counter::kAvgIterations);
}

void BM_RecordSimulatedPort(benchmark::State& state) {
    Simulated(state, false);
}
void BM_RecordLibusbPort(benchmark::State& state) {
    Libusb(state, false);
}
void BM_OpenRecordCloseSimulatedPort(benchmark::State& state) {
    Simulated(state, true);
}
void BM_OpenRecordCloseLibusbPort(benchmark::State& state) {
    Libusb(state, true);
}

}  // namespace

BENCHMARK(BM_RecordSimulatedPort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordLibusbPort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRecordCloseSimulatedPort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRecordCloseLibusbPort)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
