// Report speed on a large collection: one run of 200 coupons x 50 tests
// (10,000 traces). The text report must take well under 50 ms.
#include <benchmark/benchmark.h>

#include "collection/orvik_doc.h"
#include "report/report_builder.h"
#include "report/report_layout.h"
#include "script/script.h"

namespace {

using namespace orvik;

const COrvikDoc& LargeRun() {
    static COrvikDoc* document = [] {
        auto* built = new COrvikDoc;
        auto script = std::make_unique<Script>();
        script->Customer = "Bench";
        for (int n = 0; n < 50; ++n) {
            ScriptElement& element = script->AddElement();
            element.CriterionId = n % 4;
            element.Postfix = "-T" + std::to_string(n + 1);
        }
        built->AppendItem(std::move(script));
        for (int k = 0; k < 200; ++k) {
            built->AppendItem(std::make_unique<CouponMarker>("SN" + std::to_string(1000 + k)));
            for (int n = 1; n <= 50; ++n) {
                auto trace = std::make_unique<TraceRecord>();
                trace->Tag = kTagScriptedRun;
                trace->ElementPosition = n;
                trace->Criteria.Id = (n - 1) % 4;
                trace->Average = 45.0 + (k * 50 + n) % 1000 / 100.0;
                trace->Passed = (k + n) % 97 != 0;
                built->AppendItem(std::move(trace));
            }
        }
        return built;
    }();
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
