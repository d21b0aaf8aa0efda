#include <QImage>

#include <map>

#include <gtest/gtest.h>

#include "chart/gui/tools/sample_chart.h"
#include "chart/gui/xgraph_widget.h"
#include "qt_test_application.h"

namespace orvik {
namespace {

// The Y tick step of the trace graph for each plot height, worked out by
// hand: labels are 13 pixels high and the arrow keeps 10 pixels free at the
// top, so n = (plot height - 10) / 13 labels fit, and the step is the
// 1-2-5 value at or above range / n.
struct StepBand {
    int FromHeight;  // plot heights from here up to the next band's start
    double Step;
};

double ExpectedStep(const std::vector<StepBand>& bands, int plotHeight) {
    double step = 0.0;
    for (const StepBand& band : bands) {
        if (plotHeight >= band.FromHeight) {
            step = band.Step;
        }
    }
    return step;
}

class TickSteps : public testing::WidgetTest {
  protected:
    // Renders the graph view's chart at every window height from 250 to
    // 1000 pixels and checks the step against the bands; returns the steps
    // seen, so that a sweep that never crosses a band edge is caught.
    std::map<double, int> Sweep(double top, const std::vector<StepBand>& bands) {
        const samples::SampleTrace trace = samples::MakeSampleTrace();
        XGraphWidget chart;
        samples::SetUpGraphViewChart(chart, trace);
        chart.YAxisAt(0).SetDataRange(0.0, top);
        std::map<double, int> seen;
        for (int height = 250; height <= 1000; ++height) {
            chart.Render(QSize(600, height));
            const PixelRect plot = chart.PlotRect();
            const int plotHeight = plot.bottom - plot.top;
            const CXGraphAxis& y = chart.YAxisAt(0);
            EXPECT_DOUBLE_EQ(y.Step, ExpectedStep(bands, plotHeight))
                << "window " << height << ", plot " << plotHeight;
            EXPECT_DOUBLE_EQ(y.Min, 0.0);
            EXPECT_DOUBLE_EQ(y.Max, top);
            ++seen[y.Step];
        }
        return seen;
    }
};

TEST_F(TickSteps, ZeroToHundredOhmsAtEveryWindowHeight) {
    // n 5-9: 20; 10-19: 10; 20-49: 5; 50-99: 2.
    const auto seen = Sweep(100.0, {{75, 20.0}, {140, 10.0}, {270, 5.0}, {660, 2.0}});
    EXPECT_GT(seen.count(10.0), 0u);
    EXPECT_GT(seen.count(5.0), 0u);
    EXPECT_GT(seen.count(2.0), 0u);
}

TEST_F(TickSteps, ZeroToTwoHundredOhmsAtEveryWindowHeight) {
    // n 4-9: 50; 10-19: 20; 20-39: 10; 40-99: 5.
    const auto seen = Sweep(200.0, {{62, 50.0}, {140, 20.0}, {270, 10.0}, {530, 5.0}});
    EXPECT_GT(seen.count(20.0), 0u);
    EXPECT_GT(seen.count(10.0), 0u);
    EXPECT_GT(seen.count(5.0), 0u);
}

}  // namespace
}  // namespace orvik
