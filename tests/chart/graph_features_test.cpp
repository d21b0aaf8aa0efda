// The trace graph's cursor readout and overlay of several traces, and that a
// graph without them paints exactly as it always has.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "base/crc32.h"
#include "chart/chart_view.h"
#include "chart/coloured_text.h"
#include "chart/cursor_readout.h"
#include "chart/recording_device_context.h"
#include "chart/trace_chart.h"
#include "chart/trace_overlay.h"

namespace orvik {
namespace {

using Kind = RecordingDeviceContext::Kind;
constexpr PixelRect kClient{0, 0, 1000, 700};

std::vector<CurvePoint> Profile(double low, double high) {
    std::vector<CurvePoint> points;
    for (int i = 0; i < 750; ++i) {
        points.push_back({i * 9.99 / 749, i < 375 ? low : high});
    }
    return points;
}

TraceFigures Figures() {
    TraceFigures figures;
    figures.Name = "Sample #: 7";
    figures.Time = "Thu Dec 10 12:00:00 2026";
    figures.CriterionName = "SE 50";
    figures.Average = 50.2;
    figures.Maximum = 62.0;
    figures.Minimum = 50.0;
    figures.MaximumLimit = 55.0;
    figures.MinimumLimit = 45.0;
    figures.StartPosition = 4.0;
    figures.EndPosition = 7.0;
    figures.Passed = true;
    return figures;
}

struct Graph {
    Graph() {
        chart.SetCurveData(points.data(), 750, 0, 0, 0, false);
        ShowTraceChart(chart, SummariseFigures(Figures()), 100.0,
                       TraceLimits{4.0, 7.0, 45.0, 55.0});
    }
    RecordingDeviceContext Paint() {
        RecordingDeviceContext dc;
        chart.Paint(dc, kClient);
        return dc;
    }
    std::vector<CurvePoint> points = Profile(50.0, 62.0);
    CXGraph chart;
};

// Every call of a paint, in order, as one checksum.
std::uint32_t Fingerprint(const RecordingDeviceContext& dc) {
    std::string all;
    char number[64];
    for (const auto& call : dc.Calls()) {
        all += std::to_string(static_cast<int>(call.What)) + ":";
        for (const PixelPoint& p : call.Points) {
            std::snprintf(number, sizeof number, "%d,%d;", p.x, p.y);
            all += number;
        }
        std::snprintf(number, sizeof number, "[%d %d %d %d]%d/%d/%x %x ", call.Rect.left,
                      call.Rect.top, call.Rect.right, call.Rect.bottom, call.Pen.Style,
                      call.Pen.Width, call.Pen.Colour, call.Colour);
        all += number + call.Text + "|" + call.Font.Face + std::to_string(call.Font.Height) + "|" +
               std::to_string(call.Format) + "\n";
    }
    return Crc32(std::span(reinterpret_cast<const std::uint8_t*>(all.data()), all.size()));
}

TEST(DefaultGraph, PaintsExactlyAsBeforeZoomCursorOverlayAndUnits) {
    Graph graph;
    // Taken from the graph before zoom, cursor, overlay and units existed.
    constexpr std::uint32_t kBefore = 0xa2274e8f;
    EXPECT_EQ(Fingerprint(graph.Paint()), kBefore);
    // Zoomed and reset, in millimetres and back, overlaid and back to one
    // trace: the same paint again.
    ChartView view(graph.chart);
    view.ZoomAround({500, 300}, 0.3);
    graph.Paint();
    view.Reset();
    ShowPositionsIn(graph.chart, LengthUnit::Millimetres);
    graph.Paint();
    ShowPositionsIn(graph.chart, LengthUnit::Inches);
    const auto other = Profile(100.0, 100.0);
    const OverlaidCurve two[] = {{{}, 0, "A", OverlayColour(1)},
                                 {CurvePointSource::Of(other.data()), 750, "B", OverlayColour(0)}};
    ShowOverlay(graph.chart, two, false);
    graph.Paint();
    ShowTraceChart(graph.chart, SummariseFigures(Figures()), 100.0,
                   TraceLimits{4.0, 7.0, 45.0, 55.0});
    ShowOverlay(graph.chart, std::span(two, 1), false);
    EXPECT_EQ(Fingerprint(graph.Paint()), kBefore);
}

TEST(CurveValueAt, ReadsAlongTheDrawnLine) {
    const std::vector<CurvePoint> points{{1.0, 10.0}, {2.0, 20.0}, {4.0, NAN}, {5.0, 40.0}};
    CXGraphDataSerie curve;
    curve.ReferencePoints(CurvePointSource::Of(points.data()), 4);
    const struct {
        double x;
        std::optional<double> value;
    } cases[] = {
        {1.0, 10.0},          {1.25, 12.5},        {2.0, 20.0}, {0.99, std::nullopt},
        {5.01, std::nullopt}, {3.0, std::nullopt},  // next to a point that is not a number
        {5.0, 40.0},          {NAN, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CurveValueAt(curve, c.x), c.value) << c.x;
    }
}

double NumberIn(const std::string& text) {
    const auto at = text.find_first_of("-0123456789");
    return at == std::string::npos ? NAN : std::strtod(text.c_str() + at, nullptr);
}

TEST(CursorReadout, TellsPositionDelayAndImpedanceInTheShownUnit) {
    Graph graph;
    graph.Paint();
    const std::int32_t column = ChartView(graph.chart).ValueToPixel({2.0, 0.0}).x;
    const double halfPixel = 0.5 / graph.chart.XAxisAt(0).Mapping().Scale;

    const auto inches = ReadCursor(graph.chart, column, DisplayUnits{});
    ASSERT_TRUE(inches);
    ASSERT_EQ(inches->Lines.size(), 2u);  // no velocity: no delay
    EXPECT_EQ(inches->Lines[0].Text.rfind("Position: ", 0), 0u);
    EXPECT_NEAR(NumberIn(inches->Lines[0].Text), 2.0, halfPixel + 0.0005);
    EXPECT_EQ(inches->Lines[0].Text.substr(inches->Lines[0].Text.size() - 3), " in");
    EXPECT_EQ(inches->Lines[1].Text, "50.00 Ohms");
    EXPECT_EQ(inches->Lines[1].Swatch, kTraceCurveColour);

    const auto mm = ReadCursor(graph.chart, column, DisplayUnits{LengthUnit::Millimetres, 0.5});
    ASSERT_TRUE(mm);
    ASSERT_EQ(mm->Lines.size(), 3u);
    EXPECT_NEAR(NumberIn(mm->Lines[0].Text), 50.8, (halfPixel + 0.0005) * 25.4);
    EXPECT_EQ(mm->Lines[0].Text.substr(mm->Lines[0].Text.size() - 3), " mm");
    // Two inches at half the speed of light: 338.8 ps.
    EXPECT_EQ(mm->Lines[1].Text.rfind("Delay: ", 0), 0u);
    EXPECT_NEAR(NumberIn(mm->Lines[1].Text), 338.8, 2.0);
    EXPECT_EQ(mm->Lines[1].Text.substr(mm->Lines[1].Text.size() - 3), " ps");

    EXPECT_FALSE(ReadCursor(graph.chart, graph.chart.PlotRect().left - 1, DisplayUnits{}));
    EXPECT_FALSE(ReadCursor(graph.chart, graph.chart.PlotRect().right, DisplayUnits{}));
}

RC_GTEST_PROP(CursorReadout, NeverCoversASummaryLabel, ()) {
    Graph graph;
    const PixelRect client{0, 0, *rc::gen::inRange(300, 1600), *rc::gen::inRange(200, 1200)};
    RecordingDeviceContext dc;
    graph.chart.Paint(dc, client);
    std::vector<PixelRect> avoid = ShownLabelRects(graph.chart);
    RC_ASSERT(avoid.size() == static_cast<std::size_t>(GraphSummary::Count));
    // Something else to keep clear of, such as the script prompt.
    const std::int32_t x = *rc::gen::inRange(0, client.right);
    const std::int32_t y = *rc::gen::inRange(0, client.bottom);
    avoid.push_back({x, y, x + 200, y + 100});
    const PixelRect plot = graph.chart.PlotRect();
    const std::int32_t column = *rc::gen::inRange(plot.left, plot.right);
    const TextExtent size{*rc::gen::inRange(20, 300), *rc::gen::inRange(10, 300)};
    const auto box = PlaceReadout(size, column, plot, avoid);
    if (!box) {
        // No room means none: at every height on either side of the line
        // (6 px from it, from the plot's top and below what it avoids) the
        // box would leave the plot or cover something.
        constexpr std::int32_t gap = 6;
        for (const std::int32_t left : {column + gap, column - gap - size.Width}) {
            if (left < plot.left || left + size.Width > plot.right) {
                continue;
            }
            for (std::int32_t top = plot.top + gap; top + size.Height <= plot.bottom; ++top) {
                const PixelRect place{left, top, left + size.Width, top + size.Height};
                RC_ASSERT(std::any_of(avoid.begin(), avoid.end(), [&](const PixelRect& r) {
                    const PixelRect kept{r.left, r.top, r.right, r.bottom + gap};
                    return !place.Intersected(kept).IsEmpty();
                }));
            }
        }
        return;
    }
    RC_ASSERT(box->Width() == size.Width && box->Height() == size.Height);
    RC_ASSERT(box->left >= plot.left && box->right <= plot.right);
    RC_ASSERT(box->top >= plot.top && box->bottom <= plot.bottom);
    RC_ASSERT(box->right < column || box->left > column);
    for (const PixelRect& r : avoid) {
        RC_ASSERT(box->Intersected(r).IsEmpty());
    }
}

TEST(CursorReadout, DrawsTheLineAcrossThePlotAndTheBoxBelowTheSummary) {
    Graph graph;
    graph.Paint();
    const auto readout = ReadCursor(graph.chart, 200, DisplayUnits{});
    ASSERT_TRUE(readout);
    RecordingDeviceContext dc;
    const auto box = DrawCursorReadout(dc, graph.chart, *readout, ShownLabelRects(graph.chart));
    ASSERT_TRUE(box);
    EXPECT_GE(box->top, 190);  // below the verdict, the lowest label
    EXPECT_GT(box->left, 200);
    const auto lines = dc.CallsOf(Kind::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Points[0], (PixelPoint{200, graph.chart.PlotRect().top}));
    EXPECT_EQ(dc.TextCalls("50.00 Ohms").size(), 1u);
}

TEST(Overlay, ChoosesTheFirstAndTheLastSelected) {
    const struct {
        std::size_t selected;
        std::vector<std::size_t> shown;
        bool told;
    } cases[] = {
        {0, {}, false},
        {1, {0}, false},
        {3, {0, 1, 2}, false},
        {16, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, false},
        {17, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16}, true},
        {40, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 39}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseOverlaid(c.selected), c.shown) << c.selected;
        EXPECT_EQ(!OverlayNotice(c.selected).empty(), c.told) << c.selected;
    }
    EXPECT_EQ(OverlayNotice(20),
              "Showing 16 of 20 selected traces: the first 15 and the last selected");
}

TEST(Overlay, ColoursDifferFromEachOtherAndTheirBackground) {
    const auto apart = [](ChartColour a, ChartColour b) {
        return std::max({std::abs(RedOf(a) - RedOf(b)), std::abs(GreenOf(a) - GreenOf(b)),
                         std::abs(BlueOf(a) - BlueOf(b))});
    };
    EXPECT_EQ(OverlayColour(0), kTraceCurveColour);
    EXPECT_EQ(OverlayColour(0, true), ReadableOn(kTraceCurveColour, kWhite, kComfortableContrast));
    for (bool highContrast : {false, true}) {
        for (std::size_t i = 0; i < kMaxOverlaidTraces; ++i) {
            const ChartColour colour = OverlayColour(i, highContrast);
            // The legend shows every colour on white, the plot on grey or
            // (high contrast) on white.
            EXPECT_GE(apart(colour, kWhite), 60) << i;
            if (highContrast) {
                EXPECT_GE(ContrastRatio(colour, kWhite), kComfortableContrast) << i;
            } else {
                EXPECT_GE(apart(colour, kTraceChartGrey), 60) << i;
            }
            for (std::size_t j = 0; j < i; ++j) {
                EXPECT_GE(apart(colour, OverlayColour(j, highContrast)), 60)
                    << i << " " << j << " " << highContrast;
            }
        }
    }
}

TEST(Overlay, DrawsEveryTraceWithALegendAndHidesWhatIsNoLongerSelected) {
    Graph graph;
    const auto b = Profile(100.0, 1000.0);  // an open end far above the axis
    const auto c = Profile(30.0, 30.0);
    const OverlaidCurve three[] = {{{}, 0, "A", OverlayColour(2)},
                                   {CurvePointSource::Of(b.data()), 750, "B", OverlayColour(0)},
                                   {CurvePointSource::Of(c.data()), 750, "C", OverlayColour(1)}};
    ShowOverlay(graph.chart, three, false);
    auto dc = graph.Paint();
    EXPECT_TRUE(graph.chart.ShowLegend);
    EXPECT_EQ(dc.TextCalls("01 A").size(), 1u);
    EXPECT_EQ(dc.TextCalls("02 B").size(), 1u);
    EXPECT_EQ(dc.TextCalls("03 C").size(), 1u);
    EXPECT_EQ(graph.chart.CurveAt(0).Colour, OverlayColour(2));
    EXPECT_EQ(graph.chart.YAxisAt(0).Max, 100.0);  // the 1000-ohm trace does not stretch it
    const auto curves = dc.CallsOf(Kind::Polyline);
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[2].Pen.Colour, OverlayColour(1));

    const auto readout = ReadCursor(graph.chart, 300, DisplayUnits{});
    ASSERT_TRUE(readout);
    ASSERT_EQ(readout->Lines.size(), 4u);
    EXPECT_EQ(readout->Lines[1].Text, "A: 50.00 Ohms");
    EXPECT_EQ(readout->Lines[2].Text, "B: 100.00 Ohms");
    EXPECT_EQ(readout->Lines[3].Text, "C: 30.00 Ohms");

    ShowOverlay(graph.chart, std::span(three, 2), false);
    dc = graph.Paint();
    EXPECT_EQ(dc.CallsOf(Kind::Polyline).size(), 2u);
    EXPECT_TRUE(dc.TextCalls("03 C").empty());
}

}  // namespace
}  // namespace orvik
