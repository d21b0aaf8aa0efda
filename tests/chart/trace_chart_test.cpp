#include "chart/trace_chart.h"

#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvik
