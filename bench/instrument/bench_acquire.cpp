// Speed of one whole acquisition against the simulated MV300 with a virtual
// clock (no pauses): opening the instrument and reading its descriptors,
// the register set-up, eight sample blocks through the driver requests, the
// simulated sampler's fresh noisy record, closing, the processing and the
// diagnostic dump. Target: under 5 ms.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "base/clock.h"
#include "base/operator_prompts.h"
#include "instrument/instrument_station.h"
#include "simulator/simulated_driver_port.h"

namespace {

using namespace orvik;

class SilentPrompts : public OperatorPrompts {
  public:
    void Message(const std::string&, const std::string&, PromptIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return std::string(); }
};

void Acquire(benchmark::State& state, MeasurementMode mode, bool dump) {
    VirtualClock clock;
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    sim::SimulatedDriverPort port(clock, options);
    port.Instrument().Attach(mode, sim::CableAttachment::Coupon(*sim::CouponProfile::Parse(
                                       IsDifferential(mode) ? "100" : "50@0-4,60@4-6,50@6-10")));
    SilentPrompts prompts;
    InstrumentStation station(port, clock, prompts);
    station.StartUp({});
    const std::string path =
        (std::filesystem::temp_directory_path() / "orvik-bench-acquire-TDR_Data.csv").string();
    station.SetDumpPath(dump ? path : "");
    station.Acquire(mode, Derivative::Smoothed);  // the physics of the coupon are worked out once
    for (auto _ : state) {
        const AcquisitionOutcome outcome = station.Acquire(mode, Derivative::Smoothed);
        if (!outcome.WholeRecord()) {
            state.SkipWithError("the record came incomplete");
            break;
        }
        benchmark::DoNotOptimize(station.Buffers().Impedance.data());
    }
    std::filesystem::remove(path);
}

void BM_AcquireDifferential(benchmark::State& state) {
    Acquire(state, MeasurementMode::Differential, true);
}
void BM_AcquireSingleEnded(benchmark::State& state) {
    Acquire(state, MeasurementMode::SingleEnded, true);
}
void BM_AcquireWithoutDumpDifferential(benchmark::State& state) {
    Acquire(state, MeasurementMode::Differential, false);
}

BENCHMARK(BM_AcquireDifferential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AcquireSingleEnded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AcquireWithoutDumpDifferential)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
