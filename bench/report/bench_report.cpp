// Report speed on a large collection: one run of 200 coupons x 50 tests
// (10,000 traces). The text report must take well under 50 ms.
#include <benchmark/benchmark.h>

#include "collection/orvik_doc.h"
#include "large_run.h"
#include "report/report_builder.h"
#include "report/report_layout.h"

namespace {

using namespace orvik;

const COrvikDoc& LargeRun() {
    static const std::unique_ptr<COrvikDoc> document = bench::MakeRun(200, 50);
    return *document;
}

void TextReport(benchmark::State& state) {
    const COrvikDoc& document = LargeRun();
    ReportPreferences preferences;
    preferences.CompanyName = "Bench Lab";
    for (auto _ : state) {
        const std::string text = ReportBuilder(document.Items(), preferences).Text();
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(TextReport)->Unit(benchmark::kMillisecond);

// What the report window rebuilds after each change of the collection.
void ScreenLayout(benchmark::State& state) {
    const COrvikDoc& document = LargeRun();
    for (auto _ : state) {
        const ReportBuilder builder(document.Items(), ReportPreferences());
        const ReportLayout layout =
            LayOutReport(builder.Content(), ReportMetrics{96, 96, 15, ReportMedium::Screen});
        benchmark::DoNotOptimize(layout.Height);
    }
}
BENCHMARK(ScreenLayout)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
