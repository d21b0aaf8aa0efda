// The statistics of one job of 100,000 measurements (target: under 200 ms):
// the per-test figures and charts alone, and as orvik-cli stats has them,
// read from an SQLite results database first.
//
// The database is made once and kept in the temporary folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "results/job_statistics.h"
#include "results/measurement_identity.h"
#include "results/results_store.h"

namespace {

namespace fs = std::filesystem;
using orvik::results::Measurement;

constexpr int kMeasurements = 100000;
const char* const kTests[] = {"-SE", "-DIFF", "-SE2", "-DIFF2"};

// A job of 25,000 coupons with four tests each, measured coupon by coupon:
// impedances scattered around their targets, drifting slowly, a few failed.
std::vector<Measurement> Job() {
    std::mt19937 random(4471);
    std::normal_distribution<double> noise(0.0, 0.6);
    std::vector<Measurement> job;
    job.reserve(kMeasurements);
    for (int i = 0; i < kMeasurements; ++i) {
        const int test = i % 4;
        const double target = test % 2 == 0 ? 50.0 : 100.0;
        Measurement m;
        const std::string key = "stats-bench-" + std::to_string(i);
        m.Uuid = orvik::results::NameBasedUuid(
            std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()));
        m.Run = orvik::results::ScriptRunInfo{"Lot impedance", "Acme",    "J-STATS", "3",
                                              "kim",           1790000000};
        m.Coupon = std::to_string(i / 4);
        m.Test = kTests[test];
        m.ElementPosition = test + 1;
        m.Name = "LOT-" + *m.Coupon + kTests[test];
        m.Time = 1790000000 + i * 3;
        m.Average = target * (1.0 + 0.002 * std::sin(i / 5000.0)) + noise(random);
        m.Judged.Name = target == 50.0 ? "SE 50" : "DIFF 100";
        m.Judged.TargetImpedance = target;
        m.Judged.MinimumImpedance = target * 0.96;
        m.Judged.MaximumImpedance = target * 1.04;
        m.Passed = m.Average >= m.Judged.MinimumImpedance && m.Average <= m.Judged.MaximumImpedance;
        job.push_back(std::move(m));
    }
    return job;
}

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

std::unique_ptr<orvik::results::ResultsStore> FilledStore() {
    const fs::path path = fs::temp_directory_path() / "orvik-bench-stats-100000.sqlite";
    const bool made = fs::exists(path);
    orvik::results::StoreProblem problem;
    auto store = orvik::results::OpenResultsStore(
        *orvik::results::ParseResultsLocation(path.string()), problem);
    if (!store) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::abort();
    }
    if (!made) {
        const std::vector<Measurement> job = Job();
        for (std::size_t at = 0; at < job.size(); at += 5000) {
            const std::size_t size = std::min<std::size_t>(5000, job.size() - at);
            if (!(*store)->Store(std::span(job).subspan(at, size))) {
                std::abort();
            }
        }
    }
    return std::move(*store);
}

// What orvik-cli stats --job does before it prints.
void BM_StatsOfOneJobFromSqlite(benchmark::State& state) {
    const auto store = FilledStore();
    orvik::results::MeasurementFilter filter;
    filter.Job = "J-STATS";
    std::vector<orvik::results::TestStatistics> tests;
    for (auto _ : state) {
        const auto selection = store->Query(filter);
        tests = orvik::results::StatisticsPerTest(*selection);
        benchmark::DoNotOptimize(tests);
    }
    Report(state, tests);
}
BENCHMARK(BM_StatsOfOneJobFromSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
