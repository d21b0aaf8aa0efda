#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chart/xgraph.h"

namespace orvik {
namespace {

class CountingGraph : public CXGraph {
  public:
    void Invalidate() override { ++invalidations; }
    int invalidations = 0;
};

std::vector<CurvePoint> Line(double fromX, double toX, int count) {
    std::vector<CurvePoint> points;
    for (int i = 0; i < count; ++i) {
        const double x = fromX + (toX - fromX) * i / (count - 1);
        points.push_back({x, 2.0 * x});
    }
    return points;
}

TEST(CurvePalette, NewCurvesCycleThroughTwelveColours) {
    CXGraph chart;
    const auto points = Line(0, 1, 2);
    for (int i = 0; i < 13; ++i) {
        ASSERT_NE(chart.SetCurveData(points.data(), 2, i, 0, 0, false), nullptr);
    }
    EXPECT_EQ(chart.CurveAt(0).Colour, 0x000080u);
    EXPECT_EQ(chart.CurveAt(3).Colour, 0x00FFFFu);
    EXPECT_EQ(chart.CurveAt(11).Colour, 0xFF00FFu);
    EXPECT_EQ(chart.CurveAt(12).Colour, chart.CurveAt(0).Colour);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(chart.CurveAt(i).CurveIndex, i);
    }
}

TEST(SetCurveData, FirstCallCreatesCurveAndBothAxes) {
    CountingGraph chart;
    EXPECT_EQ(chart.XAxisCount(), 0);
    const auto points = Line(1, 4, 4);
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), 4, 0, 0, 0, false);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve, &chart.CurveAt(0));
    EXPECT_EQ(curve->Owner, &chart);
    EXPECT_EQ(curve->Count(), 4);
    EXPECT_EQ(chart.XAxisCount(), 1);
    EXPECT_EQ(chart.YAxisCount(), 1);
    EXPECT_EQ(chart.XAxisAt(0).Orientation, kHorizontalAxis);
    EXPECT_EQ(chart.YAxisAt(0).Orientation, kVerticalAxis);
    EXPECT_EQ(chart.XAxisAt(0).Owner, &chart);
    EXPECT_EQ(chart.XAxisAt(0).DataMin, 1.0);
    EXPECT_EQ(chart.XAxisAt(0).DataMax, 4.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMin, 2.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 8.0);
    EXPECT_GT(chart.invalidations, 0);
}

TEST(SetCurveData, RefusesMissingPointsAndIndicesBeyondTheEnd) {
    CountingGraph chart;
    const auto points = Line(0, 1, 3);
    EXPECT_EQ(chart.SetCurveData(nullptr, 3, 0, 0, 0, false), nullptr);
    EXPECT_EQ(chart.SetCurveData(points.data(), 0, 0, 0, 0, false), nullptr);
    EXPECT_EQ(chart.SetCurveData(points.data(), -5, 0, 0, 0, false), nullptr);
    EXPECT_EQ(chart.SetCurveData(points.data(), 3, 1, 0, 0, false), nullptr);
    EXPECT_EQ(chart.SetCurveData(points.data(), 3, 0, 1, 0, false), nullptr);
    EXPECT_EQ(chart.SetCurveData(points.data(), 3, 0, 0, -1, false), nullptr);
    EXPECT_EQ(chart.CurveCount(), 0);
    EXPECT_EQ(chart.XAxisCount(), 0);
    EXPECT_EQ(chart.YAxisCount(), 0);
    EXPECT_EQ(chart.invalidations, 0);
    EXPECT_THROW(chart.CurveAt(0), std::out_of_range);
    EXPECT_THROW(chart.XAxisAt(-1), std::out_of_range);
}

TEST(SetCurveData, NewCurveCopiesOrRefersAsAsked) {
    CXGraph chart;
    auto points = Line(0, 3, 4);
    CXGraphDataSerie* referring = chart.SetCurveData(points.data(), 4, 0, 0, 0, false);
    CXGraphDataSerie* copying = chart.SetCurveData(points.data(), 4, 1, 0, 0, true);
    EXPECT_FALSE(referring->OwnsPoints());
    EXPECT_EQ(referring->PointsAddress(), points.data());
    EXPECT_TRUE(copying->OwnsPoints());
    EXPECT_NE(copying->PointsAddress(), points.data());

    points[2].Y = 99.0;
    EXPECT_EQ(referring->PointAt(2).Y, 99.0);
    EXPECT_EQ(copying->PointAt(2).Y, 4.0);
    // The first curve's address is stable while more curves are added.
    EXPECT_EQ(referring, &chart.CurveAt(0));
}

TEST(SetCurveData, ExistingCurveAlwaysRefersToTheCallersArray) {
    CXGraph chart;
    const auto first = Line(0, 1, 3);
    chart.SetCurveData(first.data(), 3, 0, 0, 0, true);
    ASSERT_TRUE(chart.CurveAt(0).OwnsPoints());

    auto second = Line(0, 1, 5);
    CXGraphDataSerie* curve = chart.SetCurveData(second.data(), 5, 0, 0, 0, true);
    EXPECT_EQ(curve->PointsAddress(), second.data());
    EXPECT_EQ(curve->Count(), 5);
    // It does not claim the caller's array as its own.
    EXPECT_FALSE(curve->OwnsPoints());
    second[4].Y = -1.0;
    EXPECT_EQ(curve->PointAt(4).Y, -1.0);
}

TEST(SetCurveData, ExistingCurveTakesNewAxesAndAppendsThem) {
    CXGraph chart;
    const auto points = Line(0, 1, 3);
    chart.SetCurveData(points.data(), 3, 0, 0, 0, false);
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), 3, 0, 1, 1, false);
    EXPECT_EQ(chart.XAxisCount(), 2);
    EXPECT_EQ(chart.YAxisCount(), 2);
    EXPECT_EQ(curve->XAxisIndex, 1);
    EXPECT_EQ(curve->YAxisIndex, 1);
    EXPECT_EQ(chart.XAxisAt(1).DataMax, 1.0);
}

TEST(SetCurveData, AxisDataRangesOnlyWiden) {
    CXGraph chart;
    const auto wide = Line(0, 10, 11);
    chart.SetCurveData(wide.data(), 11, 0, 0, 0, false);
    const auto narrow = Line(2, 3, 5);
    chart.SetCurveData(narrow.data(), 5, 1, 0, 0, false);
    EXPECT_EQ(chart.XAxisAt(0).DataMin, 0.0);
    EXPECT_EQ(chart.XAxisAt(0).DataMax, 10.0);

    const auto beyond = Line(-5, 20, 6);
    chart.SetCurveData(beyond.data(), 6, 1, 0, 0, false);
    EXPECT_EQ(chart.XAxisAt(0).DataMin, -5.0);
    EXPECT_EQ(chart.XAxisAt(0).DataMax, 20.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMin, -10.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 40.0);
}

TEST(SetCurveData, PointsThatAreNotNumbersLeaveTheRangesAlone) {
    CXGraph chart;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const CurvePoint points[] = {{nan, 1.0}, {1.0, inf}, {2.0, 5.0}, {3.0, -inf}};
    chart.SetCurveData(points, 4, 0, 0, 0, false);
    EXPECT_EQ(chart.XAxisAt(0).DataMin, 1.0);
    EXPECT_EQ(chart.XAxisAt(0).DataMax, 3.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMin, 1.0);
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 5.0);
}

TEST(SetCurveData, ReadsSamplesOfAnotherLayoutInPlace) {
    struct Sample {
        int Flags;
        double Impedance;
        double Position;
    };
    std::vector<Sample> samples = {{7, 50.0, 0.0}, {7, 51.0, 1.0 / 75}, {7, 49.5, 2.0 / 75}};
    CXGraph chart;
    CXGraphDataSerie* curve = chart.SetCurveData(samples.data(), 3, &Sample::Position,
                                                 &Sample::Impedance, 0, 0, 0, false);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->PointsAddress(), samples.data());
    EXPECT_EQ(curve->PointAt(1), (CurvePoint{1.0 / 75, 51.0}));
    EXPECT_EQ(chart.YAxisAt(0).DataMin, 49.5);
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 51.0);
    samples[2].Impedance = 60.0;
    EXPECT_EQ(curve->PointAt(2).Y, 60.0);

    CXGraph copied;
    CXGraphDataSerie* copy = copied.SetCurveData(samples.data(), 3, &Sample::Position,
                                                 &Sample::Impedance, 0, 0, 0, true);
    samples[0].Impedance = 0.0;
    EXPECT_EQ(copy->PointAt(0), (CurvePoint{0.0, 50.0}));
    EXPECT_EQ(copied.SetCurveData(static_cast<const Sample*>(nullptr), 3, &Sample::Position,
                                  &Sample::Impedance, 0, 0, 0, false),
              nullptr);
}

TEST(CurveCopy, DuplicatesOnlyOwnedPoints) {
    CXGraph chart;
    const auto points = Line(0, 1, 3);
    chart.SetCurveData(points.data(), 3, 0, 0, 0, true);
    chart.SetCurveData(points.data(), 3, 1, 0, 0, false);
    chart.CurveAt(0).Label = "Owned";
    chart.CurveAt(0).MarkerSymbol = 4;

    const CXGraphDataSerie ownedCopy(chart.CurveAt(0));
    EXPECT_TRUE(ownedCopy.OwnsPoints());
    EXPECT_NE(ownedCopy.PointsAddress(), chart.CurveAt(0).PointsAddress());
    EXPECT_EQ(ownedCopy.PointAt(2), chart.CurveAt(0).PointAt(2));
    EXPECT_EQ(ownedCopy.Label, "Owned");
    EXPECT_EQ(ownedCopy.MarkerSymbol, 4);
    EXPECT_EQ(ownedCopy.Colour, chart.CurveAt(0).Colour);

    CXGraphDataSerie referenceCopy;
    referenceCopy = chart.CurveAt(1);
    EXPECT_FALSE(referenceCopy.OwnsPoints());
    EXPECT_EQ(referenceCopy.PointsAddress(), points.data());
    EXPECT_EQ(referenceCopy.CurveIndex, 1);
}

TEST(CurveDefaults, MatchWhatCallersExpect) {
    const CXGraphDataSerie curve;
    EXPECT_EQ(curve.LineWidth, 1);
    EXPECT_EQ(curve.FillStyle, kFillSolid);
    EXPECT_EQ(curve.MarkerSize, 10);
    EXPECT_FALSE(curve.ShowMarkers);
    EXPECT_FALSE(curve.Filled);
    EXPECT_TRUE(curve.FillTransparent);
    EXPECT_EQ(curve.FillColour, kWhite);
    EXPECT_EQ(curve.Label, " ");
    EXPECT_EQ(curve.FillPartner, 1);
    const CXGraphAxis axis;
    EXPECT_EQ(axis.Format, "%5.1f");
    EXPECT_EQ(axis.Placement, kPlaceAlternate);
    EXPECT_EQ(axis.GridColour, 0x969696u);
    EXPECT_EQ(axis.GridStyle, kPenDot);
    EXPECT_EQ(axis.LabelFont, (ChartFont{"Arial", 13, 400}));
    EXPECT_EQ(axis.TitleFont, (ChartFont{"Arial", 14, 700}));
}

TEST(AddFontLabel, AddsATransparentFramelessTimesLabel) {
    CountingGraph chart;
    CXGraphLabel* label = chart.AddFontLabel(PixelRect{55, 0, 1000, 25}, 22, 0xC80000, "Name");
    ASSERT_EQ(chart.Objects().size(), 1u);
    EXPECT_EQ(chart.Objects()[0].get(), label);
    EXPECT_EQ(label->Owner, &chart);
    EXPECT_EQ(label->Rect, (PixelRect{55, 0, 1000, 25}));
    EXPECT_EQ(label->Text, "Name");
    EXPECT_EQ(label->Font, (ChartFont{"Times New Roman", 22, 400}));
    EXPECT_EQ(label->TextColour, 0xC80000u);
    EXPECT_FALSE(label->Framed);
    EXPECT_TRUE(label->Transparent);
    EXPECT_GT(chart.invalidations, 0);
}

TEST(AddAxisBand, ReplacesAnExistingBandOrAppends) {
    CountingGraph chart;
    const auto points = Line(0, 10, 3);
    chart.SetCurveData(points.data(), 3, 0, 0, 0, false);
    CXGraphAxis& x = chart.XAxisAt(0);
    const int before = chart.invalidations;
    x.AddAxisBand(0, 4.0, 7.0, 55.0, 1000.0, 0x6464FF, "", 3);
    x.AddAxisBand(1, 4.0, 7.0, 0.0, 45.0, 0x6464FF, "", 3);
    ASSERT_EQ(x.Bands.size(), 2u);
    EXPECT_GT(chart.invalidations, before);

    x.AddAxisBand(0, 1.0, 2.0, 60.0, 900.0, 0x00FF00, "high", kFillSolid);
    ASSERT_EQ(x.Bands.size(), 2u);
    EXPECT_EQ(x.Bands[0].XFrom, 1.0);
    EXPECT_EQ(x.Bands[0].YTo, 900.0);
    EXPECT_EQ(x.Bands[0].Colour, 0x00FF00u);
    EXPECT_EQ(x.Bands[0].Text, "high");
    EXPECT_EQ(x.Bands[0].FillStyle, kFillSolid);
    EXPECT_TRUE(x.Bands[0].LimitToXRange);
    EXPECT_EQ(x.Bands[1].YTo, 45.0);

    x.AddAxisBand(7, 0, 1, 0, 1, 0, std::string(400, 'a'), 0);
    ASSERT_EQ(x.Bands.size(), 3u);
    EXPECT_EQ(x.Bands[2].Text.size(), AxisBand::kMaxBandText);
}

}  // namespace
}  // namespace orvik
