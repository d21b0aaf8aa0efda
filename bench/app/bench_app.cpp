// The operator's program as the operator waits for it: opening a large
// collection until its tree is shown, and one Run Test with its refresh.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <filesystem>

#include "app/main_frame.h"
#include "app/station_fakes.h"
#include "collection/child_frame.h"
#include "collection/orvik_doc.h"

namespace {

std::string LargeCollection() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "orvik-bench-app-10000.tdr").string();
        orvik::COrvikDoc document;
        std::vector<double> values(750);
        for (int i = 0; i < 10000; ++i) {
            for (std::size_t k = 0; k < values.size(); ++k) {
                values[k] = 50.0 + std::sin(0.02 * static_cast<double>(k) + i);
            }
            auto trace = std::make_unique<orvik::TraceRecord>();
            trace->FillFromAcquisition(nullptr, values, 0);
            trace->Name = "Sample #: " + std::to_string(i + 1);
            document.AppendItem(std::move(trace));
        }
        document.SaveAs(file);
        return file;
    }();
    return path;
}

void BM_OpenCollectionUntilTreeShown(benchmark::State& state) {
    const std::string path = LargeCollection();
    orvik::testing::FakeInstrument instrument;
    orvik::VirtualClock clock;
    orvik::CMainFrame frame(orvik::StartOptions{}, instrument, clock);
    frame.resize(1200, 800);
    frame.show();
    for (auto _ : state) {
        orvik::CChildFrame* child = frame.OpenCollection(QString::fromStdString(path));
        QApplication::processEvents();  // the tree and graph paint
        state.PauseTiming();
        child->close();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenCollectionUntilTreeShown)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
