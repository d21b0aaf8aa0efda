// Speed of painting a chart.
//   The graph view's chart (1000 x 700, one 750-point profile, two hatched
//   bands, eight labels) painted into an image; the same with a 1,000,000-
//   point curve, which must cost at most one line per pixel column; and the
//   chart's own work for that curve with a device that draws nothing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <memory>

#include "chart/gui/painter_context_widget.h"
#include "chart/recording_device_context.h"
#include "chart/gui/tools/sample_chart.h"
#include "chart/xgraph.h"

namespace {

using namespace orvik;

constexpr PixelRect kClient{0, 0, 1000, 700};

// Counts curve points, draws nothing.
class CountingDeviceContext : public RecordingDeviceContext {
  public:
    void DrawPolyline(std::span<const PixelPoint> points, const ChartPen&) override {
        polylinePoints += static_cast<long long>(points.size());
    }
    void DrawLine(PixelPoint, PixelPoint, const ChartPen&) override {}
    void DrawText(const ChartFont&, std::string_view, const PixelRect&, int, ChartColour,
                  const std::optional<ChartColour>&) override {}
    long long polylinePoints = 0;
};

struct Fixture {
    explicit Fixture(int points) {
        trace = samples::MakeSampleTrace();
        if (points != 750) {
            trace.Points = samples::DenseProfile(points);
        }
        samples::SetUpGraphViewChart(chart, trace);
    }
    samples::SampleTrace trace;
    CXGraph chart;
};

void PaintIntoImage(benchmark::State& state, int points) {
    Fixture fixture(points);
    QImage image(1000, 700, QImage::Format_RGB32);
    PainterCache cache;  // the chart window keeps one from paint to paint
    for (auto _ : state) {
        QPainter painter(&image);
        PainterDeviceContext dc(painter, &cache);
        fixture.chart.Paint(dc, kClient);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    CountingDeviceContext counter;
    fixture.chart.Paint(counter, kClient);
    state.counters["curve_points_drawn"] = static_cast<double>(counter.polylinePoints);
    state.counters["plot_columns"] = fixture.chart.PlotRect().Width();
}

void BM_PaintGraphViewChart(benchmark::State& state) {
    PaintIntoImage(state, 750);
}
BENCHMARK(BM_PaintGraphViewChart)->Unit(benchmark::kMillisecond);

void BM_PaintMillionPointCurve(benchmark::State& state) {
    PaintIntoImage(state, 1000000);
}
BENCHMARK(BM_PaintMillionPointCurve)->Unit(benchmark::kMillisecond);

void BM_ChartWorkMillionPoints(benchmark::State& state) {
    Fixture fixture(1000000);
    CountingDeviceContext counter;
    for (auto _ : state) {
        fixture.chart.Paint(counter, kClient);
    }
}
BENCHMARK(BM_ChartWorkMillionPoints)->Unit(benchmark::kMillisecond);

}  // namespace
