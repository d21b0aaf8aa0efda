#include "chart/trace_chart.h"

#include <vector>

#include <gtest/gtest.h>

#include "chart/coloured_text.h"
#include "chart/mask_outline.h"
#include "chart/recording_device_context.h"
#include "chart/xgraph_label.h"

namespace orvik {
namespace {

class TraceChart : public ::testing::Test {
  protected:
    TraceChart() { chart.SetCurveData(points.data(), 3, 0, 0, 0, false); }

    std::vector<CurvePoint> points{{0.0, 40.0}, {5.0, 250.0}, {10.0, 60.0}};
    CXGraph chart;
};

TEST_F(TraceChart, LooksLikeTheTraceGraph) {
    ShowTraceChart(chart, GraphSummary(), 100.0, std::nullopt);
    EXPECT_FALSE(chart.ShowLegend);
    EXPECT_EQ(chart.PlotColour, kTraceChartGrey);
    EXPECT_EQ(chart.BackColour, kTraceChartGrey);
    EXPECT_EQ(chart.CurveAt(0).Label, "Trace");
    EXPECT_EQ(chart.CurveAt(0).Colour, kTraceCurveColour);
    EXPECT_EQ(chart.YAxisAt(0).Title, "Ohms");
    EXPECT_EQ(chart.XAxisAt(0).Title, "Inches");
    EXPECT_FALSE(chart.XAxisAt(0).ShowCurveMarkers);
    // The axis range is the chart's, not the points' (which reach 250 ohms).
    EXPECT_EQ(chart.YAxisAt(0).DataMin, 0.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 100.0);
    EXPECT_EQ(chart.YAxisAt(0).Format, "%.2f");
    ASSERT_EQ(chart.Objects().size(), static_cast<std::size_t>(GraphSummary::Count));
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Name).TextColour, kTraceNameColour);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).Text, "");
    EXPECT_TRUE(chart.XAxisAt(0).Bands.empty());
}

TEST_F(TraceChart, LaterCallsRefillTheSameLabelsAndBands) {
    TraceFigures figures;
    figures.Name = "Sample #: 2";
    figures.Average = 90.0;
    figures.Passed = false;
    const TraceLimits limits{4.0, 7.0, 45.0, 55.0};
    ShowTraceChart(chart, SummariseFigures(figures), ImpedanceAxisTop(figures.Average), limits);
    ShowTraceChart(chart, SummariseFigures(figures), ImpedanceAxisTop(figures.Average), limits);

    ASSERT_EQ(chart.Objects().size(), static_cast<std::size_t>(GraphSummary::Count));
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Name).Text, "Sample #: 2");
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).Text, "90.00 - FAIL");
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).TextColour, kVerdictFailColour);
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 200.0);
    const auto& bands = chart.XAxisAt(0).Bands;
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].XFrom, 4.0);
    EXPECT_EQ(bands[0].XTo, 7.0);
    EXPECT_EQ(bands[0].YFrom, 55.0);
    EXPECT_EQ(bands[0].YTo, kLimitBandTop);
    EXPECT_EQ(bands[1].YFrom, 0.0);
    EXPECT_EQ(bands[1].YTo, 45.0);
}

// Each summary text has an outline that sets it off at 3:1 or better from
// whatever lies behind it. The usual colours stay (a red FAIL, about 1.1:1
// on the grey by itself); the high-contrast set turns the window white and
// darkens the texts and the curve until they read comfortably on it.
TEST_F(TraceChart, SummaryTextsAreOutlinedInBothColourSets) {
    EXPECT_NEAR(ContrastRatio(kVerdictFailColour, kTraceChartGrey), 1.1, 0.05);
    GraphSummary failing;
    failing.VerdictColour = kVerdictFailColour;
    for (const bool highContrast : {false, true}) {
        ShowTraceChart(chart, failing, 100.0, std::nullopt, highContrast);
        const ChartColour background = TraceChartBackground(highContrast);
        EXPECT_EQ(chart.PlotColour, background);
        for (int i = 0; i < GraphSummary::Count; ++i) {
            const CXGraphLabel& label = TraceChartLabel(chart, static_cast<GraphSummary::Label>(i));
            ASSERT_TRUE(label.Outline) << i;
            EXPECT_GE(ContrastRatio(label.TextColour, *label.Outline), kReadableContrast) << i;
            if (highContrast) {
                EXPECT_GE(ContrastRatio(label.TextColour, background), kComfortableContrast) << i;
            }
        }
        const ChartColour verdict = TraceChartLabel(chart, GraphSummary::Verdict).TextColour;
        if (highContrast) {
            EXPECT_GE(ContrastRatio(chart.CurveAt(0).Colour, background), kComfortableContrast);
            EXPECT_GT(RedOf(verdict), GreenOf(verdict)) << "FAIL stays red";
        } else {
            EXPECT_EQ(verdict, kVerdictFailColour);
            EXPECT_EQ(chart.CurveAt(0).Colour, kTraceCurveColour);
        }
    }
}

// The mask's edges are drawn as dashed lines over the window, after the
// curves, without becoming curves themselves; without a reference they go.
TEST_F(TraceChart, MaskEdgesAreDrawnBesideTheCurvesAndCanBeHidden) {
    ShowTraceChart(chart, GraphSummary(), 100.0, std::nullopt);
    const std::vector<CurvePoint> lower{{4.0, 45.0}, {5.5, 46.0}, {7.0, 47.0}};
    const std::vector<CurvePoint> upper{{4.0, 55.0}, {5.5, 56.0}, {7.0, 57.0}};
    const auto dashed = [&] {
        RecordingDeviceContext dc;
        chart.Paint(dc, PixelRect{0, 0, 1000, 700});
        std::vector<RecordingDeviceContext::Call> lines;
        for (const auto& call : dc.CallsOf(RecordingDeviceContext::Kind::Polyline)) {
            if (call.Pen.Style == kPenDash && call.Pen.Colour == kMaskOutlineColour) {
                lines.push_back(call);
            }
        }
        return lines;
    };
    for (int round = 0; round < 2; ++round) {  // a second call reuses the same edges
        ShowMaskOutline(chart, lower, upper, false);
    }
    EXPECT_EQ(chart.CurveCount(), 1);
    ASSERT_EQ(MaskOutlineEdges(chart).size(), 2u);
    const auto lines = dashed();
    ASSERT_EQ(lines.size(), 2u);
    CXGraphAxis& x = chart.XAxisAt(0);
    CXGraphAxis& y = chart.YAxisAt(0);
    EXPECT_EQ(lines[0].Points.front().x, x.ValueToPixel({4.0, 45.0}).x);
    EXPECT_EQ(lines[0].Points.front().y, y.ValueToPixel({4.0, 45.0}).y);
    EXPECT_EQ(lines[1].Points.back().y, y.ValueToPixel({7.0, 57.0}).y);
    EXPECT_GT(lines[0].Points.front().y, lines[1].Points.front().y) << "lower edge below";

    ShowMaskOutline(chart, {}, {}, false);
    EXPECT_TRUE(dashed().empty());
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).Text, "") << "labels stay in place";
}

// Longer texts (a verdict with its reason, positions in millimetres) get
// labels reaching as far as the name's; the usual ones keep their places.
TEST_F(TraceChart, LongTextsReachFurtherRight) {
    GraphSummary summary;
    ShowTraceChart(chart, summary, 100.0, std::nullopt);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).Rect.right, 400);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Window).Rect.right, 300);
    summary.LongTexts = true;
    ShowTraceChart(chart, summary, 100.0, std::nullopt);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).Rect.right, 1000);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Window).Rect.right, 1000);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Average).Rect.right, 300);
    summary.LongTexts = false;
    ShowTraceChart(chart, summary, 100.0, std::nullopt);
    EXPECT_EQ(TraceChartLabel(chart, GraphSummary::Verdict).Rect.right, 400);
}

}  // namespace
}  // namespace orvik
