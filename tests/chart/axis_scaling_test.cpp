#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "chart/axis_scaling.h"
#include "chart/recording_device_context.h"
#include "chart/xgraph.h"

namespace orvik {
namespace {

// (max - min) / n = d for a range of d * 10 over 10 ticks.
double StepFor(double d) {
    return ComputeTickStep(10, 0.0, d * 10.0, -1.0);
}

TEST(ComputeTickStep, RoundsUpToOneTwoOrFiveTimesAPowerOfTen) {
    EXPECT_DOUBLE_EQ(StepFor(0.37), 0.5);
    EXPECT_DOUBLE_EQ(StepFor(3.7), 5.0);
    EXPECT_DOUBLE_EQ(StepFor(7.0), 10.0);
    EXPECT_DOUBLE_EQ(StepFor(1.0), 1.0);
    EXPECT_DOUBLE_EQ(StepFor(0.1), 0.1);
    EXPECT_DOUBLE_EQ(StepFor(0.2), 0.2);
    EXPECT_DOUBLE_EQ(StepFor(1.5), 2.0);
    EXPECT_DOUBLE_EQ(StepFor(10.0), 10.0);
    EXPECT_DOUBLE_EQ(StepFor(12.0), 20.0);
    EXPECT_DOUBLE_EQ(StepFor(450.0), 500.0);
    EXPECT_NEAR(StepFor(0.0037), 0.005, 1e-15);
    // A negative range start does not matter, only the width.
    EXPECT_DOUBLE_EQ(ComputeTickStep(4, -20.0, 0.0, -1.0), 5.0);
}

// A width per tick between 2 and 2.5 (times a power of ten) needs the step 5:
// a step of 2.5 or 2 would be narrower than the width and give more ticks
// than there is room for.
TEST(ComputeTickStep, WidthsJustAboveTwoTakeTheStepFive) {
    EXPECT_DOUBLE_EQ(StepFor(2.2), 5.0);
    EXPECT_DOUBLE_EQ(StepFor(0.25), 0.5);
    EXPECT_DOUBLE_EQ(StepFor(20.1), 50.0);
    EXPECT_DOUBLE_EQ(StepFor(2.0), 2.0);
    for (double d = 0.0011; d < 900.0; d *= 1.37) {
        const double step = StepFor(d);
        EXPECT_GE(step, d * (1.0 - 1e-9)) << "no narrower than the width per tick, d = " << d;
        EXPECT_LE(step, d * 5.0) << "d = " << d;
    }
}

TEST(ComputeTickStep, KeepsTheCurrentStepWhenNoStepFollows) {
    EXPECT_EQ(ComputeTickStep(10, 3.0, 3.0, 0.25), 0.25);
    EXPECT_EQ(ComputeTickStep(10, 5.0, 1.0, 0.25), 0.25);  // reversed
    EXPECT_EQ(ComputeTickStep(0, 0.0, 1.0, 0.25), 0.25);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ComputeTickStep(10, 0.0, inf, 0.25), 0.25);
    EXPECT_EQ(ComputeTickStep(10, nan, 1.0, 0.25), 0.25);
    EXPECT_EQ(ComputeTickStep(10, -1e308, 1e308, 0.25), 0.25);  // width overflows
}

TEST(AlignRange, WidensToWholeStepsOutsideTheRange) {
    double min = 0.0, max = 100.0;
    AlignRange(min, max, 10.0);
    EXPECT_EQ(min, 0.0);
    EXPECT_EQ(max, 100.0);

    min = 3.7, max = 7.3;
    AlignRange(min, max, 1.0);
    EXPECT_NEAR(min, 2.0, 1e-12);
    EXPECT_NEAR(max, 8.0, 1e-12);

    min = -3.7, max = -0.5;
    AlignRange(min, max, 1.0);
    EXPECT_NEAR(min, -4.0, 1e-12);
    EXPECT_NEAR(max, 0.0, 1e-12);

    // Decimal steps: bounds on whole steps stay although the remainder
    // carries rounding noise.
    min = 0.3, max = 0.7;
    AlignRange(min, max, 0.1);
    EXPECT_EQ(min, 0.3);
    EXPECT_EQ(max, 0.7);
    min = 0.35, max = 0.65;
    AlignRange(min, max, 0.1);
    EXPECT_NEAR(min, 0.2, 1e-12);
    EXPECT_NEAR(max, 0.7, 1e-12);

    min = 0.0, max = 9.986666;
    AlignRange(min, max, 0.5);
    EXPECT_EQ(min, 0.0);
    EXPECT_NEAR(max, 10.0, 1e-12);
}

TEST(AlignRange, IgnoresUnusableSteps) {
    double min = 3.7, max = 7.3;
    AlignRange(min, max, 0.0);
    AlignRange(min, max, -1.0);
    AlignRange(min, max, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(min, 3.7);
    EXPECT_EQ(max, 7.3);
}

TEST(SetDataRange, SetsDataAndVisibleRangeAndWidensAnEmptyRange) {
    CXGraphAxis axis(kVerticalAxis);
    EXPECT_TRUE(axis.SetDataRange(5.0, 5.0));
    EXPECT_EQ(axis.DataMin, 4.0);
    EXPECT_EQ(axis.DataMax, 6.0);
    EXPECT_EQ(axis.Min, 4.0);
    EXPECT_EQ(axis.Max, 6.0);

    EXPECT_TRUE(axis.SetDataRange(0.0, 100.0));
    EXPECT_EQ(axis.Min, 0.0);
    EXPECT_EQ(axis.Max, 100.0);
    // Without a shown window the step is a tenth of the range.
    EXPECT_DOUBLE_EQ(axis.Step, 10.0);

    // Far from zero one unit is lost in rounding; the range still has a width.
    EXPECT_TRUE(axis.SetDataRange(1e17, 1e17));
    EXPECT_LT(axis.Min, axis.Max);
}

TEST(SetDataRange, RefusesReversedAndNonFiniteRangesWithoutChange) {
    CXGraphAxis axis;
    ASSERT_TRUE(axis.SetDataRange(1.0, 2.0));
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(axis.SetDataRange(3.0, 2.0));
    EXPECT_FALSE(axis.SetDataRange(std::numeric_limits<double>::quiet_NaN(), 2.0));
    EXPECT_FALSE(axis.SetDataRange(0.0, inf));
    EXPECT_FALSE(axis.SetDataRange(-inf, 0.0));
    EXPECT_EQ(axis.DataMin, 1.0);
    EXPECT_EQ(axis.DataMax, 2.0);
    EXPECT_EQ(axis.Min, 1.0);
    EXPECT_EQ(axis.Max, 2.0);
}

// A chart with one curve whose axes keep the range they are given.
class PixelConversion : public ::testing::Test {
  protected:
    void SetUp() override {
        chart.ShowLegend = false;
        ASSERT_NE(chart.SetCurveData(points, 2, 0, 0, 0, true), nullptr);
        for (CXGraphAxis* axis : {&chart.XAxisAt(0), &chart.YAxisAt(0)}) {
            axis->AutoScaling = false;
            axis->Title.clear();
        }
        chart.XAxisAt(0).SetDataRange(0.0, 10.0);
        chart.YAxisAt(0).SetDataRange(0.0, 100.0);
        chart.Paint(dc, PixelRect{0, 0, 1000, 700});
    }

    CurvePoint points[2] = {{0.0, 0.0}, {10.0, 100.0}};
    CXGraph chart;
    RecordingDeviceContext dc;
};

TEST_F(PixelConversion, MapsDataLinearlyOntoTheAxisLength) {
    CXGraphAxis& x = chart.XAxisAt(0);
    CXGraphAxis& y = chart.YAxisAt(0);
    const PixelRect plot = chart.PlotRect();
    ASSERT_GT(x.Length, 100);
    ASSERT_GT(y.Length, 100);

    EXPECT_EQ(x.ValueToPixel({0.0, 55.0}), (PixelPoint{plot.left, 0}));
    EXPECT_EQ(x.ValueToPixel({10.0, 0.0}).x, plot.left + x.Length);
    EXPECT_EQ(x.ValueToPixel({2.5, 0.0}).x, static_cast<int>(x.Length / 10.0 * 2.5 + plot.left));
    EXPECT_EQ(y.ValueToPixel({3.0, 0.0}), (PixelPoint{0, plot.bottom}));
    EXPECT_EQ(y.ValueToPixel({0.0, 100.0}).y, plot.bottom - y.Length);
    EXPECT_EQ(y.ValueToPixel({0.0, 33.3}).y,
              static_cast<int>(plot.bottom - y.Length / 100.0 * 33.3));
    EXPECT_DOUBLE_EQ(x.Span, 10.0);
    EXPECT_DOUBLE_EQ(y.Span, 100.0);
}

TEST_F(PixelConversion, TruncatesTowardZeroAndKeepsWildValuesDrawable) {
    CXGraphAxis& x = chart.XAxisAt(0);
    // Just below a whole pixel stays on the pixel before it.
    const double perPixel = 10.0 / x.Length;
    EXPECT_EQ(x.ValueToPixel({perPixel * 0.999, 0.0}).x, chart.PlotRect().left);
    EXPECT_EQ(x.ValueToPixel({1e300, 0.0}).x, static_cast<int>(kPixelLimit));
    EXPECT_EQ(x.ValueToPixel({-1e300, 0.0}).x, -static_cast<int>(kPixelLimit));
    EXPECT_EQ(x.ValueToPixel({std::numeric_limits<double>::quiet_NaN(), 0.0}).x, 0);
}

// The next smaller step of the 1-2-5 series.
double SmallerStep(double step) {
    const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double mantissa = std::round(step / power);
    return mantissa == 1.0 ? power / 2.0 : (mantissa == 2.0 ? power : 2.0 * power);
}

TEST(AutoScale, ChoosesTheFinestStepWhoseLabelsFitAndAlignsTheRange) {
    CXGraph chart;
    chart.ShowLegend = false;
    const CurvePoint points[] = {{0.0, 3.7}, {9.9867, 97.3}};
    chart.SetCurveData(points, 2, 0, 0, 0, true);
    RecordingDeviceContext dc;
    chart.Paint(dc, PixelRect{0, 0, 1000, 700});

    const CXGraphAxis& y = chart.YAxisAt(0);
    const double labelHeight = 13.0;  // the recorder measures a line as the font height
    const double room = y.Length;
    // Aligning adds at most a step at either end to the ticks that fit.
    EXPECT_LE(((y.Max - y.Min) / y.Step - 2) * labelHeight, room + 14);
    EXPECT_GT((97.3 - 3.7) / SmallerStep(y.Step) * labelHeight, room - 2 * labelHeight);
    EXPECT_LE(y.Min, 3.7);
    EXPECT_GE(y.Max, 97.3);
    EXPECT_NEAR(std::remainder(y.Min, y.Step), 0.0, 1e-9);
    EXPECT_NEAR(std::remainder(y.Max, y.Step), 0.0, 1e-9);
    // The data range is kept, and painting again gives the same range.
    EXPECT_DOUBLE_EQ(y.DataMin, 3.7);
    const double min = y.Min, max = y.Max, step = y.Step;
    chart.Paint(dc, PixelRect{0, 0, 1000, 700});
    EXPECT_EQ(y.Min, min);
    EXPECT_EQ(y.Max, max);
    EXPECT_EQ(y.Step, step);

    const CXGraphAxis& x = chart.XAxisAt(0);
    EXPECT_EQ(x.Min, 0.0);
    EXPECT_GE(x.Max, 9.9867);
    EXPECT_LE(x.Max, 9.9867 + x.Step);
    EXPECT_NEAR(std::remainder(x.Max, x.Step), 0.0, 1e-9);
}

// A chart shown in a window that measures text with the recorder.
class ShownGraph : public CXGraph {
  public:
    bool IsWindowVisible() const override { return true; }
    DeviceContext* MeasuringContext() override { return &measuring; }
    RecordingDeviceContext measuring;
};

TEST(SetDataRange, OnAShownChartSpacesTicksByTheLabelSize) {
    ShownGraph chart;
    chart.ShowLegend = false;
    const CurvePoint points[] = {{0.0, 0.0}, {10.0, 1.0}};
    chart.SetCurveData(points, 2, 0, 0, 0, false);
    RecordingDeviceContext dc;
    chart.Paint(dc, PixelRect{0, 0, 1000, 700});

    CXGraphAxis& y = chart.YAxisAt(0);
    ASSERT_TRUE(y.SetDataRange(0.0, 100.0));
    const PixelRect plot = chart.PlotRect();
    const double available = plot.bottom - (plot.top + y.LabelExtent + y.LabelReserve);
    EXPECT_DOUBLE_EQ(y.Step, 100.0 / static_cast<int>(available) * 13);

    CXGraphAxis& x = chart.XAxisAt(0);
    ASSERT_TRUE(x.SetDataRange(0.0, 10.0));
    const double across = plot.right - x.LabelReserve - x.LabelExtent - plot.left;
    const double widest = 5 * 6;  // "%5.1f" gives "  0.0" and " 10.0"
    EXPECT_DOUBLE_EQ(x.Step, 10.0 / static_cast<int>(across) * widest);
}

TEST(TickFormat, UsesTheAxisFormatAndFallsBackOnUnsafeOnes) {
    EXPECT_EQ(FormatTickValue("%5.1f", 3.0, false), "  3.0");
    EXPECT_EQ(FormatTickValue("%.2f", 47.256, false), "47.26");
    EXPECT_EQ(FormatTickValue("%.2lf ohm", 5.0, false), "5.00 ohm");
    EXPECT_EQ(FormatTickValue("%g%%", 50.0, false), "50%");
    for (const char* unsafe :
         {"%s", "%d", "%n", "%5.1f %f", "no value", "%100f", "%.123f", "%Lf", "%5.1"}) {
        EXPECT_EQ(FormatTickValue(unsafe, 3.0, false), "  3.0") << unsafe;
    }
    // Huge values are cut, not overrun.
    EXPECT_LT(FormatTickValue("%f", 1e300, false).size(), 64u);
}

TEST(TickFormat, FormatsDateAxesFromDaysSinceTheEndOf1899) {
    EXPECT_EQ(FormatTickValue("%Y-%m-%d", 45000.0, true), "2023-03-15");
    EXPECT_EQ(FormatTickValue("%Y-%m-%d %H:%M", 2.75, true), "1900-01-01 18:00");
    EXPECT_EQ(FormatTickValue("%Y", std::numeric_limits<double>::quiet_NaN(), true), "");
}

}  // namespace
}  // namespace orvik
