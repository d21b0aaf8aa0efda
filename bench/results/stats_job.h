#pragma once

// The job the statistics benchmarks work on: 100,000 measurements of four
// tests, and an SQLite results database that holds it (made once, kept in
// the temporary folder).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "results/measurement_identity.h"
#include "results/results_store.h"

namespace orvik::bench {

using results::Measurement;

constexpr int kMeasurements = 100000;
const char* const kTests[] = {"-SE", "-DIFF", "-SE2", "-DIFF2"};

// A job of 25,000 coupons with four tests each, measured coupon by coupon:
// impedances scattered around their targets, drifting slowly, a few failed.
inline std::vector<Measurement> Job() {
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

inline std::string StatsDatabasePath() {
    return (std::filesystem::temp_directory_path() / "orvik-bench-stats-100000.sqlite").string();
}

inline std::unique_ptr<results::ResultsStore> FilledStore() {
    const std::string path = StatsDatabasePath();
    const bool made = std::filesystem::exists(path);
    results::StoreProblem problem;
    auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
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

}  // namespace orvik::bench
