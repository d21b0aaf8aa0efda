// The report window and the PDF on large collections: painting what is
// visible must fit in a frame (16 ms), a 100-page PDF in 3 s.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QPixmap>
#include <QScrollBar>
#include <QTemporaryDir>

#include "large_run.h"
#include "report/gui/report_frame.h"
#include "report/gui/report_painting.h"
#include "report/gui/report_view.h"

namespace {

using namespace orvik;

// 10,000 traces: 200 coupons x 50 tests.
void PaintVisiblePart(benchmark::State& state) {
    const auto document = bench::MakeRun(200, 50);
    const ReportPreferences preferences;
    CReportFrame frame(*document, nullptr, preferences);
    frame.resize(1000, 800);
    frame.show();
    QPixmap canvas(frame.View().viewport()->size());
    QScrollBar* scroll = frame.View().verticalScrollBar();
    const bool changed = state.range(0) != 0;
    int painted = 0;
    for (auto _ : state) {
        if (changed) {
            document->UpdateAllViews();  // a recorded trace: the layout is built again
        } else {
            scroll->setValue(scroll->value() == 0 ? scroll->maximum() / 2 : 0);
        }
        // Painting through a pixmap, as an exposed window would.
        frame.View().viewport()->render(&canvas);
        ++painted;
    }
    benchmark::DoNotOptimize(painted);
    state.SetLabel(changed ? "after each change" : "scrolling");
}
BENCHMARK(PaintVisiblePart)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 450 coupons x 50 tests: 10 x 10 grid blocks, 102 pages.
void Pdf100Pages(benchmark::State& state) {
    const auto document = bench::MakeRun(450, 50);
    const ReportContent content = ReportBuilder(document->Items(), ReportPreferences()).Content();
    QTemporaryDir folder;
    const std::string path = folder.filePath("bench.pdf").toStdString();
    for (auto _ : state) {
        const Status written = WriteReportPdf(content, path);
        if (!written) {
            state.SkipWithError(written.Error().Message.c_str());
            break;
        }
    }
}
BENCHMARK(Pdf100Pages)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
