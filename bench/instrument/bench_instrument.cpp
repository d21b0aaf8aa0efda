// Speed of the acquisition's processing stage.
//   ConvertRecord: difference, smoothing, deconvolution, level smoothing and
//   conversion of a 6000-sample record (target: under 3 ms differential, no
//   allocation per call); ProcessRecord: the same plus the 5000-line dump.
// The "allocations" counter is the number of operator new calls per iteration.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <random>

#include "instrument/process_record.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Counting replacements of the global allocation functions; they pair
// malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

using namespace orvik;

// A record like an open cable's: settled incident step, a slow reflection.
std::vector<double> OpenCableRecord(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<double> record(kRecordSampleCount);
    for (int t = 0; t < kRecordSampleCount; ++t) {
        const double incident = t < 1100 ? -12000.0 : 400.0;
        const double reflection = t > 3075 ? 12400.0 * (1.0 - std::exp(-(t - 3075) / 40.0)) : 0.0;
        record[t] = std::round(incident + reflection + noise(random));
    }
    return record;
}

void Convert(benchmark::State& state, MeasurementMode mode, bool dump) {
    auto buffers = std::make_unique<AcquisitionBuffers>();
    const CalibrationSet calibration;
    const ResponseKernels kernels;
    const std::vector<double> record = OpenCableRecord(1);
    const std::string path =
        (std::filesystem::temp_directory_path() / "orvik-bench-TDR_Data.csv").string();
    kernels.For(mode).Sum();  // the built-in kernel is made on first use
    long allocated = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(record.begin(), record.end(), buffers->Raw.begin());
        state.ResumeTiming();
        const long before = allocations.load(std::memory_order_relaxed);
        if (dump) {
            ProcessRecord(*buffers, calibration, kernels, mode, kProcessedSampleCount,
                          Derivative::Smoothed, path);
        } else {
            ConvertRecord(*buffers, calibration, kernels.For(mode), mode, kProcessedSampleCount,
                          Derivative::Smoothed);
        }
        allocated += allocations.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(buffers->Impedance.data());
    }
    state.counters["allocations"] =
        benchmark::Counter(static_cast<double>(allocated), benchmark::Counter::kAvgIterations);
    std::filesystem::remove(path);
}

void BM_ConvertRecordDifferential(benchmark::State& state) {
    Convert(state, MeasurementMode::Differential, false);
}
void BM_ConvertRecordSingleEnded(benchmark::State& state) {
    Convert(state, MeasurementMode::SingleEnded, false);
}
void BM_ProcessRecordWithDumpDifferential(benchmark::State& state) {
    Convert(state, MeasurementMode::Differential, true);
}
void BM_ProcessRecordWithDumpSingleEnded(benchmark::State& state) {
    Convert(state, MeasurementMode::SingleEnded, true);
}

BENCHMARK(BM_ConvertRecordDifferential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertRecordSingleEnded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessRecordWithDumpDifferential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessRecordWithDumpSingleEnded)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
