// Speed of painting a chart.
//   The trace graph with 16 overlaid traces at 1000 x 700 (target: each
//   under 5 ms): a wheel notch of zoom, a pan step, each a new picture of the
//   chart; and a cursor move, the kept picture copied with the cursor and its
//   readout drawn over it, as the window does.
//   The graph view's chart (1000 x 700, one 750-point profile, two hatched
//   bands, eight labels) painted into an image; the same with a 1,000,000-
//   point curve, which must cost at most one line per pixel column; and the
//   chart's own work for that curve with a device that draws nothing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <memory>

#include "chart/chart_view.h"
#include "chart/cursor_readout.h"
#include "chart/gui/painter_context_widget.h"
#include "chart/gui/tools/sample_chart.h"
#include "chart/recording_device_context.h"
#include "chart/trace_overlay.h"
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

// The sample trace and 15 more, each a little higher, drawn together.
struct OverlayFixture {
    OverlayFixture() {
        trace = samples::MakeSampleTrace();
        samples::SetUpGraphViewChart(chart, trace);
        std::vector<OverlaidCurve> curves{{{}, 0, "Sample #: 1", OverlayColour(0)}};
        for (std::size_t i = 1; i < kMaxOverlaidTraces; ++i) {
            auto& points = others.emplace_back(trace.Points);
            for (CurvePoint& point : points) {
                point.Y += static_cast<double>(i);
            }
        }
        for (std::size_t i = 0; i < others.size(); ++i) {
            curves.push_back({CurvePointSource::Of(others[i].data()),
                              static_cast<std::int32_t>(others[i].size()),
                              "Sample #: " + std::to_string(i + 2), OverlayColour(i + 1)});
        }
        ShowOverlay(chart, curves, false);
        Paint();
    }
    void Paint() {
        QPainter painter(&image);
        PainterDeviceContext dc(painter, &cache);
        chart.Paint(dc, kClient);
    }
    samples::SampleTrace trace;
    std::vector<std::vector<CurvePoint>> others;
    CXGraph chart;
    QImage image{1000, 700, QImage::Format_RGB32};
    PainterCache cache;
};

void BM_ZoomSixteenTraces(benchmark::State& state) {
    OverlayFixture fixture;
    ChartView view(fixture.chart);
    int notch = 0;
    for (auto _ : state) {
        // In and out again, around the plot, so that every pass zooms.
        view.ZoomAround({300 + notch * 40, 300}, notch % 2 == 0 ? 0.8 : 1.25);
        notch = (notch + 1) % 10;
        fixture.Paint();
        benchmark::DoNotOptimize(fixture.image.constBits());
    }
    CountingDeviceContext counter;
    fixture.chart.Paint(counter, kClient);
    state.counters["curve_points_drawn"] = static_cast<double>(counter.polylinePoints);
}
BENCHMARK(BM_ZoomSixteenTraces)->Unit(benchmark::kMillisecond);

void BM_PanSixteenTraces(benchmark::State& state) {
    OverlayFixture fixture;
    ChartView view(fixture.chart);
    view.ZoomAround({500, 350}, 0.3);
    fixture.Paint();
    int step = 0;
    for (auto _ : state) {
        view.PanBy(step < 20 ? 15 : -15, 0);
        step = (step + 1) % 40;
        fixture.Paint();
        benchmark::DoNotOptimize(fixture.image.constBits());
    }
}
BENCHMARK(BM_PanSixteenTraces)->Unit(benchmark::kMillisecond);

void BM_CursorMoveSixteenTraces(benchmark::State& state) {
    OverlayFixture fixture;
    QImage window(1000, 700, QImage::Format_RGB32);
    const std::vector<PixelRect> labels = ShownLabelRects(fixture.chart);
    const PixelRect plot = fixture.chart.PlotRect();
    std::int32_t column = plot.left;
    for (auto _ : state) {
        QPainter painter(&window);
        painter.drawImage(0, 0, fixture.image);
        PainterDeviceContext dc(painter, &fixture.cache);
        const auto readout = ReadCursor(fixture.chart, column, DisplayUnits{});
        DrawCursorReadout(dc, fixture.chart, *readout, labels);
        painter.end();
        column = column + 7 < plot.right ? column + 7 : plot.left;
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_CursorMoveSixteenTraces)->Unit(benchmark::kMillisecond);

}  // namespace
