// The statistics of one job of 100,000 measurements (target: under 200 ms):
// the per-test figures and charts alone, and as orvik-cli stats has them,
// read from an SQLite results database first.
//
// The database is made once and kept in the temporary folder.
#include <benchmark/benchmark.h>

#include "results/job_statistics.h"
#include "stats_job.h"

namespace {

using orvik::bench::FilledStore;
using orvik::bench::Job;
using orvik::results::Measurement;

void Report(benchmark::State& state, const std::vector<orvik::results::TestStatistics>& tests) {
    std::size_t violations = 0;
    for (const auto& test : tests) {
        violations += test.Chart ? test.Chart->Violations.size() : 0;
    }
    state.counters["tests"] = static_cast<double>(tests.size());
    state.counters["violations"] = static_cast<double>(violations);
}

void BM_StatisticsOfOneJob(benchmark::State& state) {
    const std::vector<Measurement> job = Job();
    std::vector<orvik::results::TestStatistics> tests;
    for (auto _ : state) {
        tests = orvik::results::StatisticsPerTest(job);
        benchmark::DoNotOptimize(tests);
    }
    Report(state, tests);
}
BENCHMARK(BM_StatisticsOfOneJob)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reads one job of the filled store with `read` and computes its figures.
template <typename Read>
void StatsOfOneJob(benchmark::State& state, Read read) {
    const auto store = FilledStore();
    orvik::results::MeasurementFilter filter;
    filter.Job = "J-STATS";
    std::vector<orvik::results::TestStatistics> tests;
    for (auto _ : state) {
        const auto selection = read(*store, filter);
        tests = orvik::results::StatisticsPerTest(*selection);
        benchmark::DoNotOptimize(tests);
    }
    Report(state, tests);
}

// What orvik-cli stats --job, the Statistics window and the report's
// appendix do before they show: the lean reading, then the figures.
void BM_StatsOfOneJobFromSqlite(benchmark::State& state) {
    StatsOfOneJob(state,
                  [](auto& store, const auto& filter) { return store.QuerySummaries(filter); });
}
BENCHMARK(BM_StatsOfOneJobFromSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same from whole measurements, as the statistics first read them: what
// the lean reading saves.
void BM_StatsOfOneJobFromWholeMeasurements(benchmark::State& state) {
    StatsOfOneJob(state, [](auto& store, const auto& filter) { return store.Query(filter); });
}
BENCHMARK(BM_StatsOfOneJobFromWholeMeasurements)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
