// Speed of the collection file and of judging a trace.
//   Load/Save of 10,000 traces x 750 samples (about 120 MB), against a plain
//   copy of the same file; Evaluate of one 750-sample trace.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "collection/orvik_doc.h"
#include "base/file_store.h"

namespace {

std::vector<double> Profile(int seed) {
    std::vector<double> values(orvik::kProfileSampleCount);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 50.0 + std::sin(0.01 * static_cast<double>(i) + seed) * 2.0;
    }
    return values;
}

std::string LargeCollectionPath() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "orvik-bench-10000.tdr").string();
        orvik::COrvikDoc document;
        for (int i = 0; i < 10000; ++i) {
            auto trace = std::make_unique<orvik::TraceRecord>();
            trace->FillFromAcquisition(nullptr, Profile(i), 0);
            trace->Name = "Sample #: " + std::to_string(i + 1);
            document.AppendItem(std::move(trace));
        }
        if (!document.SaveAs(file)) {
            std::abort();  // nothing to measure without the file
        }
        return file;
    }();
    return path;
}

void BM_LoadCollection10000(benchmark::State& state) {
    const std::string path = LargeCollectionPath();
    for (auto _ : state) {
        orvik::COrvikDoc document;
        const auto result = document.Open(path);
        if (!result) {
            state.SkipWithError(result.Error().Detail.c_str());
        }
        benchmark::DoNotOptimize(document.Items().size());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_LoadCollection10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveCollection10000(benchmark::State& state) {
    orvik::COrvikDoc document;
    if (!document.Open(LargeCollectionPath())) {
        state.SkipWithError("the collection cannot be read");
        return;
    }
    const std::string target =
        (std::filesystem::temp_directory_path() / "orvik-bench-save.tdr").string();
    for (auto _ : state) {
        const auto result = document.SaveAs(target);
        if (!result) {
            state.SkipWithError(result.Error().Detail.c_str());
        }
    }
    std::filesystem::remove(target);
}
BENCHMARK(BM_SaveCollection10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardstick: what cp costs for the same file (read it all, write it all).
void BM_CopyFileLikeCp(benchmark::State& state) {
    const std::string source = LargeCollectionPath();
    const std::string target =
        (std::filesystem::temp_directory_path() / "orvik-bench-copy.tdr").string();
    for (auto _ : state) {
        std::filesystem::copy_file(source, target,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::filesystem::remove(target);
}
BENCHMARK(BM_CopyFileLikeCp)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Evaluate750(benchmark::State& state) {
    orvik::TraceRecord trace;
    trace.FillFromAcquisition(nullptr, Profile(1), 0);
    for (auto _ : state) {
        trace.Evaluate();
        benchmark::DoNotOptimize(trace.Average);
    }
}
BENCHMARK(BM_Evaluate750);

}  // namespace

BENCHMARK_MAIN();
