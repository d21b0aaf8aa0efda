// Zoom, pan and the pixel-value map of the trace graph, over random
// sequences of the operator's gestures, in inches and millimetres.
#include "chart/chart_view.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "chart/recording_device_context.h"
#include "chart/trace_chart.h"

namespace orvik {
namespace {

// A 750-point profile over 0 to 9.99 inches with a step in the middle, shown
// as the trace graph shows it.
struct TraceGraph {
    TraceGraph() {
        for (int i = 0; i < 750; ++i) {
            points.push_back({i * 9.99 / 749, i < 375 ? 50.0 : 62.0});
        }
        chart.SetCurveData(points.data(), 750, 0, 0, 0, false);
        ShowTraceChart(chart, GraphSummary(), 100.0, TraceLimits{4.0, 7.0, 45.0, 55.0});
    }
    void Paint(PixelRect client) {
        RecordingDeviceContext dc(DeviceCaps{client.right, client.bottom, 96.0, 96.0, -1});
        chart.Paint(dc, client);
    }
    std::vector<CurvePoint> points;
    CXGraph chart;
};

// The pixels an axis maps values into, as the last layout placed it.
struct AxisPixels {
    std::int32_t From;
    std::int32_t To;  // exclusive
};

AxisPixels PixelsOf(const CXGraph& chart, const CXGraphAxis& axis) {
    const PixelRect plot = chart.PlotRect();
    if (axis.IsVertical()) {
        return {plot.bottom - axis.Length + 1, plot.bottom};
    }
    return {plot.left, plot.left + axis.Length};
}

bool IsOneTwoFive(double step) {
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (std::fabs(mantissa - m) < 1e-9 * m) {
            return true;
        }
    }
    return false;
}

// What every axis must show after any gesture: ticks by the 1-2-5 rule in the
// shown unit, the ends on whole ticks, covering what was asked for, and a
// requested part that stays inside the data.
void CheckAxis(const CXGraphAxis& axis) {
    const double k = axis.ShownPerUnit;
    const double step = axis.Step * k;
    RC_ASSERT(IsOneTwoFive(step));
    for (double end : {axis.Min * k, axis.Max * k}) {
        RC_ASSERT(std::fabs(end / step - std::round(end / step)) < 1e-6);
    }
    const AxisWindow asked = axis.Zoom.value_or(AxisWindow{axis.DataMin, axis.DataMax});
    const double slack = 1e-9 * (axis.DataMax - axis.DataMin);
    RC_ASSERT(axis.Min <= asked.From + slack);
    RC_ASSERT(axis.Max >= asked.To - slack);
    RC_ASSERT(asked.From >= axis.DataMin - slack);
    RC_ASSERT(asked.To <= axis.DataMax + slack);
    RC_ASSERT(asked.To - asked.From >= (axis.DataMax - axis.DataMin) / kMaxZoom * (1 - 1e-9));
}

// Every pixel's centre value lands in that pixel again, and every value
// comes back within half a pixel.
void CheckRoundTrips(const CXGraph& chart, const ChartView& view) {
    const CXGraphAxis& x = chart.XAxisAt(0);
    const CXGraphAxis& y = chart.YAxisAt(0);
    const AxisPixels columns = PixelsOf(chart, x);
    const AxisPixels rows = PixelsOf(chart, y);
    const std::int32_t column = *rc::gen::inRange(columns.From, columns.To);
    const std::int32_t row = *rc::gen::inRange(rows.From, rows.To);
    RC_ASSERT(view.ValueToPixel(view.PixelToValue({column, row})) == (PixelPoint{column, row}));

    const double along = *rc::gen::inRange(0, 1000000) / 1e6;
    const CurvePoint value{x.Min + along * (x.Max - x.Min), y.Min + along * (y.Max - y.Min)};
    const CurvePoint back = view.PixelToValue(view.ValueToPixel(value));
    RC_ASSERT(std::fabs(back.X - value.X) <= 0.5 / x.Mapping().Scale * (1 + 1e-9));
    RC_ASSERT(std::fabs(back.Y - value.Y) <= 0.5 / y.Mapping().Scale * (1 + 1e-9));
}

struct Gesture {
    int Kind;  // 0 wheel, 1 zoom rectangle, 2 pan, 3 reset
    PixelPoint At;
    PixelPoint To;
    int Notches;
};

RC_GTEST_PROP(ChartView, EveryZoomKeepsTicksAndRoundTrips, ()) {
    TraceGraph graph;
    const PixelRect client{0, 0, *rc::gen::inRange(400, 1600), *rc::gen::inRange(300, 1200)};
    const LengthUnit unit = *rc::gen::element(LengthUnit::Inches, LengthUnit::Millimetres);
    ShowPositionsIn(graph.chart, unit);
    graph.Paint(client);
    ChartView view(graph.chart);
    const auto point = rc::gen::construct<PixelPoint>(rc::gen::inRange(0, client.right),
                                                      rc::gen::inRange(0, client.bottom));
    const auto gestures = *rc::gen::container<std::vector<Gesture>>(
        rc::gen::construct<Gesture>(rc::gen::inRange(0, 4), point, point, rc::gen::inRange(-8, 9)));
    for (const Gesture& gesture : gestures) {
        switch (gesture.Kind) {
            case 0:
                view.ZoomAround(gesture.At, std::pow(0.8, gesture.Notches));
                break;
            case 1:
                view.ZoomToRect(gesture.At, gesture.To);
                break;
            case 2:
                view.PanBy(gesture.To.x - gesture.At.x, gesture.To.y - gesture.At.y);
                break;
            default:
                view.Reset();
        }
        graph.Paint(client);
        CheckAxis(graph.chart.XAxisAt(0));
        CheckAxis(graph.chart.YAxisAt(0));
        CheckRoundTrips(graph.chart, view);
    }
}

TEST(ChartView, ARectangleShowsWhatItEnclosedAndResetBringsTheWholeTraceBack) {
    TraceGraph graph;
    const PixelRect client{0, 0, 1000, 700};
    graph.Paint(client);
    ChartView view(graph.chart);
    const PixelPoint from = view.ValueToPixel({4.5, 60.0});
    const PixelPoint to = view.ValueToPixel({5.5, 40.0});
    EXPECT_FALSE(view.ZoomToRect(from, {from.x + 2, to.y}));  // too thin: a click
    EXPECT_FALSE(view.IsZoomed());
    ASSERT_TRUE(view.ZoomToRect(from, to));
    graph.Paint(client);
    const CXGraphAxis& x = graph.chart.XAxisAt(0);
    const CXGraphAxis& y = graph.chart.YAxisAt(0);
    EXPECT_LE(x.Min, 4.5);
    EXPECT_GE(x.Max, 5.5);
    EXPECT_LT(x.Max - x.Min, 2.0);
    EXPECT_LE(y.Min, 40.0);
    EXPECT_GE(y.Max, 60.0);
    EXPECT_LT(y.Max - y.Min, 40.0);

    // Panning right past the end stops at the end of the trace.
    view.PanBy(-100000, 0);
    graph.Paint(client);
    EXPECT_NEAR(x.Zoom->To, x.DataMax, 1e-12);

    view.Reset();
    graph.Paint(client);
    EXPECT_FALSE(view.IsZoomed());
    EXPECT_EQ(x.Min, 0.0);
    EXPECT_EQ(x.Max, 10.0);
    EXPECT_EQ(y.Min, 0.0);
    EXPECT_EQ(y.Max, 100.0);
}

TEST(ChartView, ZoomingOutPastTheWholeTraceIsNoZoom) {
    TraceGraph graph;
    graph.Paint({0, 0, 1000, 700});
    ChartView view(graph.chart);
    view.ZoomAround({500, 300}, 0.5);
    EXPECT_TRUE(view.IsZoomed());
    view.ZoomAround({500, 300}, 2.5);
    EXPECT_FALSE(view.IsZoomed());
}

TEST(ChartView, MillimetreTicksFallOnRoundMillimetres) {
    TraceGraph graph;
    ShowPositionsIn(graph.chart, LengthUnit::Millimetres);
    RecordingDeviceContext dc;
    graph.chart.Paint(dc, {0, 0, 1000, 700});
    const CXGraphAxis& x = graph.chart.XAxisAt(0);
    EXPECT_EQ(x.Title, "Millimetres");
    EXPECT_DOUBLE_EQ(x.Min * 25.4, 0.0);
    // 9.99 inches are 253.746 mm: the last tick is the next whole step.
    EXPECT_NEAR(x.Max * 25.4, 260.0, 1e-9);
    EXPECT_EQ(dc.TextCalls("260.0").size(), 1u);
    EXPECT_TRUE(dc.TextCalls("  9.0").empty());  // no inch ticks
    ShowPositionsIn(graph.chart, LengthUnit::Inches);
    dc.Clear();
    graph.chart.Paint(dc, {0, 0, 1000, 700});
    EXPECT_EQ(graph.chart.XAxisAt(0).Title, "Inches");
    EXPECT_EQ(dc.TextCalls("  9.0").size(), 1u);
}

}  // namespace
}  // namespace orvik
