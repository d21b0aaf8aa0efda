#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "chart/recording_device_context.h"
#include "chart/xgraph.h"

namespace orvik {
namespace {

using Kind = RecordingDeviceContext::Kind;
using Call = RecordingDeviceContext::Call;

constexpr PixelRect kClient{0, 0, 1000, 700};

std::vector<CurvePoint> Profile(int count, double lastX) {
    std::vector<CurvePoint> points;
    for (int i = 0; i < count; ++i) {
        const double x = lastX * i / (count - 1);
        points.push_back({x, 50.0 + 10.0 * std::sin(x)});
    }
    return points;
}

// Index of the first call of a kind at or after `from`, or -1.
int IndexOf(const RecordingDeviceContext& dc, Kind kind, std::size_t from = 0) {
    const auto& calls = dc.Calls();
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].What == kind) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<Call> CurveLines(const RecordingDeviceContext& dc) {
    return dc.CallsOf(Kind::Polyline);
}

TEST(CurveDrawing, DrawsOnlyTheFirstPointOfEachPixelColumn) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(100000, 10.0);
    chart.SetCurveData(points.data(), 100000, 0, 0, 0, false);
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    const auto lines = CurveLines(dc);
    ASSERT_EQ(lines.size(), 1u);
    const auto& drawn = lines[0].Points;
    const CXGraphAxis& x = chart.XAxisAt(0);
    const CXGraphAxis& y = chart.YAxisAt(0);
    EXPECT_LE(drawn.size(), static_cast<std::size_t>(chart.PlotRect().Width()) + 1);
    EXPECT_GT(drawn.size(), 500u);
    for (std::size_t i = 1; i < drawn.size(); ++i) {
        ASSERT_GT(drawn[i].x, drawn[i - 1].x);
    }
    // Each drawn point is the first data point that reaches its column.
    const AxisMapping toX = x.Mapping();
    const AxisMapping toY = y.Mapping();
    std::size_t next = 0;
    for (const CurvePoint& point : points) {
        if (next < drawn.size() && toX.Map(point.X) == drawn[next].x) {
            ASSERT_EQ(drawn[next].y, toY.Map(point.Y));
            ++next;
        }
    }
    EXPECT_EQ(next, drawn.size());
}

TEST(CurveDrawing, SkipsPointsThatAreNotNumbers) {
    CXGraph chart;
    chart.ShowLegend = false;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CurvePoint points[] = {{0, 1}, {1, nan}, {2, 3}, {nan, 4}, {4, 5}};
    chart.SetCurveData(points, 5, 0, 0, 0, false);
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    const auto lines = CurveLines(dc);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Points.size(), 3u);
}

TEST(CurveDrawing, DotsAreCirclesOfTheLineWidth) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(5, 4.0);
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), 5, 0, 0, 0, false);
    curve->DrawStyle = kDrawDots;
    curve->LineWidth = 3;
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    EXPECT_TRUE(CurveLines(dc).empty());
    const auto dots = dc.CallsOf(Kind::Ellipse);
    ASSERT_EQ(dots.size(), 5u);
    EXPECT_EQ(dots[0].Rect.Width(), 7);
    EXPECT_EQ(dots[0].Brush->Colour, curve->Colour);
}

TEST(CurveMarkers, GoOnEveryStrideThPointWithTheCurveNumber) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(750, 10.0);
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), 750, 0, 0, 0, false);
    curve->ShowMarkers = true;
    chart.XAxisAt(0).ShowCurveMarkers = false;
    chart.YAxisAt(0).ShowCurveMarkers = false;
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    const int width = chart.PlotRect().Width();
    const int perWidth = (width / 10) / 4;
    const int stride = 750 / perWidth;
    ASSERT_EQ(curve->MarkerStride(), stride);
    // Numbered squares: a filled square and the number "1" for curve 0.
    const auto numbers = dc.TextCalls("1");
    const int expected = (750 + stride - 1) / stride;
    EXPECT_EQ(static_cast<int>(numbers.size()), expected);
    for (const Call& number : numbers) {
        EXPECT_EQ(number.Rect.Width(), 10);
        EXPECT_EQ(number.Font.Weight, 100);
    }
    // Markers come after the curve line.
    const int polyline = IndexOf(dc, Kind::Polyline);
    ASSERT_GE(polyline, 0);
    for (std::size_t i = 0; i < static_cast<std::size_t>(polyline); ++i) {
        EXPECT_NE(dc.Calls()[i].Text, "1");
    }

    // The first marker is centred on the first point.
    const AxisMapping toX = chart.XAxisAt(0).Mapping();
    EXPECT_EQ(numbers[0].Rect.left, toX.Map(points[0].X) - 5);
}

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST(CurveMarkers, AxisTitlesStayClearOfTheMarkerStrips) {
    CXGraph chart;  // markers beside both axes, as by default
    const auto points = Profile(50, 10.0);
    for (int i = 0; i < 3; ++i) {
        chart.SetCurveData(points.data(), 50, i, 0, 0, false);
    }
    chart.XAxisAt(0).Title = "Inches";
    chart.YAxisAt(0).Title = "Ohms";
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    std::vector<PixelRect> markers;
    for (const Call& fill : dc.CallsOf(Kind::FillRect)) {
        if (fill.Rect.Width() == 10 && fill.Rect.Height() == 10) {
            markers.push_back(fill.Rect);
        }
    }
    ASSERT_GE(markers.size(), 6u);  // three beside each axis
    for (const char* title : {"Inches", "Ohms"}) {
        const auto drawn = dc.TextCalls(title);
        ASSERT_EQ(drawn.size(), 1u) << title;
        for (const PixelRect& marker : markers) {
            EXPECT_FALSE(Overlap(drawn[0].Rect, marker)) << title << " at " << marker.left;
        }
    }
    // The X title still ends at the plot's right edge, above its axis line.
    const Call inches = dc.TextCalls("Inches")[0];
    EXPECT_EQ(inches.Rect.right, chart.PlotRect().right - 1);
    EXPECT_LT(inches.Rect.bottom, chart.XAxisAt(0).OriginY);
}

TEST(CurveMarkers, SymbolModeDrawsTheChosenShapeAndZeroSizeIsHarmless) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(20, 10.0);
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), 20, 0, 0, 0, false);
    curve->ShowMarkers = true;
    curve->MarkerMode = 1;
    curve->MarkerSymbol = 1;
    chart.YAxisAt(0).ShowCurveMarkers = false;
    chart.XAxisAt(0).ShowCurveMarkers = false;
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    // 20 points and a stride of 2.
    EXPECT_EQ(dc.CallsOf(Kind::Ellipse).size(), 10u);

    curve->MarkerSize = 0;
    dc.Clear();
    chart.Paint(dc, kClient);
    EXPECT_EQ(curve->MarkerStride(), 2);
    EXPECT_TRUE(dc.CallsOf(Kind::Ellipse).empty());
}

TEST(Legend, HiddenLegendLetsThePlotReachTheRightMargin) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false);
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    EXPECT_EQ(chart.PlotRect().right, kClient.right - chart.MarginRight);
    EXPECT_TRUE(chart.LegendEntries().empty());
}

TEST(Legend, ShrinksTheGraphAreaOnItsSide) {
    CXGraph chart;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false)->Label = "Trace";
    chart.SetCurveData(points.data(), 10, 1, 0, 0, false)->Label = "Reference";
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    // The recorder measures 6 pixels per character at height 13: "02 Reference".
    const int widest = 12 * 6;
    EXPECT_EQ(chart.PlotRect().right, kClient.right - chart.MarginRight - (widest + 36));
    ASSERT_EQ(chart.LegendEntries().size(), 2u);
    EXPECT_EQ(chart.LegendEntries()[1].Curve, 1);
    ASSERT_EQ(dc.TextCalls("01 Trace").size(), 1u);
    ASSERT_EQ(dc.TextCalls("02 Reference").size(), 1u);
    const Call row = dc.TextCalls("02 Reference")[0];
    EXPECT_EQ(row.Background, std::optional<ChartColour>(kWhite));
    // The box: its right edge 10 pixels inside the area.
    const auto boxes = dc.CallsOf(Kind::Rect);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].Rect.right, kClient.right - chart.MarginRight - 10);
    EXPECT_EQ(boxes[0].Rect.Width(), widest + 16);
    EXPECT_EQ(boxes[0].Rect.top, chart.MarginTop + 10);
    EXPECT_EQ(boxes[0].Rect.bottom, chart.MarginTop + 2 * 13 + 12);

    chart.LegendSide = 0;
    dc.Clear();
    const int leftBefore = chart.PlotRect().left;
    chart.Paint(dc, kClient);
    EXPECT_EQ(chart.PlotRect().right, kClient.right - chart.MarginRight);
    EXPECT_EQ(chart.PlotRect().left, leftBefore + widest + 36);

    // Hidden curves have no row.
    chart.CurveAt(0).Visible = false;
    chart.Paint(dc, kClient);
    ASSERT_EQ(chart.LegendEntries().size(), 1u);
    EXPECT_EQ(chart.LegendEntries()[0].Curve, 1);
}

TEST(YAxes, TwoAlternatingAxesStandLeftAndRightOfThePlot) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false);
    chart.SetCurveData(points.data(), 10, 1, 0, 1, false);
    chart.YAxisAt(1).SetDataRange(-1000.0, 1000.0);
    chart.YAxisAt(1).Title = "Volts";
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    const CXGraphAxis& left = chart.YAxisAt(0);
    const CXGraphAxis& right = chart.YAxisAt(1);
    EXPECT_EQ(left.Placement, kPlaceLeft);
    EXPECT_EQ(right.Placement, kPlaceRight);
    const PixelRect plot = chart.PlotRect();
    EXPECT_EQ(left.OriginX, plot.left - 1);
    EXPECT_EQ(right.OriginX, plot.right);
    EXPECT_LT(plot.right, kClient.right - chart.MarginRight);
    // The right axis needs room for its widest label or its title and arrow.
    const int labelWidth = 7 * 6;  // "-1000.0" and "1000.0" at 6 pixels per character
    const int titleWidth = 5 * 7 + right.ArrowSize;
    EXPECT_EQ(kClient.right - chart.MarginRight - plot.right,
              std::max(labelWidth, titleWidth) + chart.AxisGap);
    // Its labels are left-aligned right of its ticks.
    const auto top = dc.TextCalls(right.FormatValue(right.Max));
    ASSERT_FALSE(top.empty());
    EXPECT_GT(top.back().Rect.left, right.OriginX);
    EXPECT_EQ(top.back().Format & kTextRight, 0);
}

TEST(XAxes, StackUpwardFromTheBottomMargin) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false);
    chart.SetCurveData(points.data(), 10, 1, 1, 0, false);
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    const int row = 13 + chart.AxisGap;
    EXPECT_EQ(chart.XAxisAt(0).OriginY, kClient.bottom - chart.MarginBottom - row);
    EXPECT_EQ(chart.XAxisAt(1).OriginY, kClient.bottom - chart.MarginBottom - 2 * row);
    EXPECT_EQ(chart.PlotRect().bottom, chart.XAxisAt(1).OriginY);

    chart.XAxisAt(1).Visible = false;
    chart.Paint(dc, kClient);
    EXPECT_EQ(chart.PlotRect().bottom, kClient.bottom - chart.MarginBottom - row);
}

TEST(HiddenAxis, IsMeasuredButDrawsNothing) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false);
    chart.YAxisAt(0).Visible = false;
    chart.YAxisAt(0).Title = "Ohms";
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    EXPECT_EQ(chart.PlotRect().left, kClient.left + chart.MarginLeft + 1);
    EXPECT_TRUE(dc.TextCalls("Ohms").empty());
    EXPECT_GT(chart.YAxisAt(0).Length, 100);
    EXPECT_EQ(CurveLines(dc).size(), 1u);
}

TEST(PaintOrder, BackgroundsThenAxesThenClippedCurvesThenLabels) {
    CXGraph chart;
    chart.ShowLegend = false;
    chart.BackColour = 0x111111;
    chart.GraphColour = 0x222222;
    chart.PlotColour = 0x333333;
    const auto points = Profile(50, 10.0);
    chart.SetCurveData(points.data(), 50, 0, 0, 0, false);
    chart.AddFontLabel(PixelRect{55, 0, 300, 25}, 22, 0xC80000, "Sample #: 1");
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    const auto& calls = dc.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].What, Kind::FillRect);
    EXPECT_EQ(calls[0].Rect, kClient);
    EXPECT_EQ(calls[0].Colour, 0x111111u);
    EXPECT_EQ(calls[1].Rect, (PixelRect{5, 5, 995, 695}));
    EXPECT_EQ(calls[1].Colour, 0x222222u);
    EXPECT_EQ(calls[2].Rect, chart.PlotRect());
    EXPECT_EQ(calls[2].Colour, 0x333333u);

    const int clip = IndexOf(dc, Kind::Clip);
    const int curve = IndexOf(dc, Kind::Polyline);
    ASSERT_GE(clip, 0);
    EXPECT_EQ(calls[static_cast<std::size_t>(clip)].Rect, chart.PlotRect());
    EXPECT_GT(curve, clip);
    const auto labels = dc.TextCalls("Sample #: 1");
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].Font, (ChartFont{"Times New Roman", 22, 400}));
    EXPECT_EQ(labels[0].Colour, 0xC80000u);
    EXPECT_EQ(labels[0].Rect, (PixelRect{56, 1, 299, 24}));
    EXPECT_EQ(calls.back().What, Kind::ClearClip);
    // A transparent, frameless label neither fills nor frames its box.
    for (const Call& call : calls) {
        if (call.What == Kind::FillRect || call.What == Kind::Rect) {
            EXPECT_NE(call.Rect, (PixelRect{55, 0, 300, 25}));
        }
    }
}

TEST(Bands, FillTheirDataRectangleClippedToThePlot) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(750, 9.9867);
    chart.SetCurveData(points.data(), 750, 0, 0, 0, false);
    chart.YAxisAt(0).SetDataRange(0.0, 100.0);
    CXGraphAxis& x = chart.XAxisAt(0);
    x.AddAxisBand(0, 4.0, 7.0, 55.0, 1000.0, 0x6464FF, "", kHatchBackwardDiagonal);
    x.AddAxisBand(1, 4.0, 7.0, 0.0, 45.0, 0x00FF00, "low", kFillSolid);
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);

    const AxisMapping toX = x.Mapping();
    const AxisMapping toY = chart.YAxisAt(0).Mapping();
    const PixelRect plot = chart.PlotRect();
    const auto hatched = dc.CallsOf(Kind::Rect);
    ASSERT_EQ(hatched.size(), 1u);
    EXPECT_EQ(hatched[0].Rect, (PixelRect{toX.Map(4.0), plot.top, toX.Map(7.0), toY.Map(55.0)}));
    EXPECT_EQ(hatched[0].Brush, (ChartBrush{kHatchBackwardDiagonal, 0x6464FF}));
    EXPECT_EQ(hatched[0].Pen, (ChartPen{kPenSolid, 1, 0x6464FF}));

    bool solidFound = false;
    for (const Call& fill : dc.CallsOf(Kind::FillRect)) {
        if (fill.Colour == 0x00FF00u) {
            solidFound = true;
            EXPECT_EQ(fill.Rect,
                      (PixelRect{toX.Map(4.0), toY.Map(45.0), toX.Map(7.0), plot.bottom}));
        }
    }
    EXPECT_TRUE(solidFound);
    ASSERT_EQ(dc.TextCalls("low").size(), 1u);
}

TEST(Fills, CloseToTheBottomOrAgainstAPartner) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto upper = Profile(5, 4.0);
    CXGraphDataSerie* curve = chart.SetCurveData(upper.data(), 5, 0, 0, 0, false);
    curve->Filled = true;
    curve->FillColour = 0x00FF00;
    // Its default partner, curve 1, does not exist: the fill goes to the bottom.
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    auto polygons = dc.CallsOf(Kind::FillPolygon);
    ASSERT_EQ(polygons.size(), 1u);
    ASSERT_EQ(polygons[0].Points.size(), 7u);
    EXPECT_EQ(polygons[0].Points[5].y, chart.PlotRect().bottom);
    EXPECT_EQ(polygons[0].Points[6].x, polygons[0].Points[0].x);
    EXPECT_EQ(polygons[0].Mix, FillMix::NotXor);
    EXPECT_EQ(polygons[0].Brush, (ChartBrush{kFillSolid, 0x00FF00}));

    std::vector<CurvePoint> lower = upper;
    for (CurvePoint& p : lower) {
        p.Y -= 5.0;
    }
    chart.SetCurveData(lower.data(), 5, 1, 0, 0, false);
    curve->FillTransparent = false;
    curve->FillStyle = kHatchCross;
    dc.Clear();
    chart.Paint(dc, kClient);
    polygons = dc.CallsOf(Kind::FillPolygon);
    ASSERT_EQ(polygons.size(), 1u);
    ASSERT_EQ(polygons[0].Points.size(), 10u);
    // The partner's points follow in reverse order.
    EXPECT_EQ(polygons[0].Points[5].x, polygons[0].Points[4].x);
    EXPECT_GT(polygons[0].Points[5].y, polygons[0].Points[4].y);
    EXPECT_EQ(polygons[0].Mix, FillMix::Copy);
    EXPECT_EQ(polygons[0].Brush->Style, kHatchCross);
}

// A 600-dpi, two-colour printer against a 96-dpi screen.
TEST(Printing, MonochromeDeviceGetsBlackCurvesOnWhite) {
    CXGraph chart;
    chart.ShowLegend = true;
    chart.BackColour = chart.GraphColour = chart.PlotColour = 0x787878;
    const auto points = Profile(100, 10.0);
    CXGraphDataSerie* curve = chart.SetCurveData(points.data(), 100, 0, 0, 0, false);
    curve->Colour = 0x64FF64;
    curve->LineWidth = 2;
    curve->Filled = true;
    curve->FillColour = 0x0000FF;
    chart.AddFontLabel(PixelRect{55, 145, 400, 190}, 40, 0x37FF00, "50.00 - PASS");
    RecordingDeviceContext dc(DeviceCaps{5000, 6600, 600.0, 600.0, 2});
    chart.PrintTo(dc, 96.0, 96.0);

    const auto& calls = dc.Calls();
    EXPECT_EQ(calls[0].Colour, kWhite);
    EXPECT_EQ(calls[0].Rect, (PixelRect{0, 0, 800, 1056}));
    // Background areas are paper; only the legend's 8-pixel swatch and the
    // axes' 10-pixel curve markers are ink.
    int swatches = 0;
    for (const Call& fill : dc.CallsOf(Kind::FillRect)) {
        if (fill.Rect.Width() == 8 || fill.Rect.Width() == 10) {
            ++swatches;
            EXPECT_EQ(fill.Colour, kBlack);
        } else {
            EXPECT_EQ(fill.Colour, kWhite);
        }
    }
    EXPECT_EQ(swatches, 3);
    EXPECT_EQ(dc.CallsOf(Kind::Rect)[0].Brush->Colour, kWhite);
    // The numbers on black squares are white.
    EXPECT_EQ(dc.TextCalls("1")[0].Colour, kWhite);
    const auto lines = dc.CallsOf(Kind::Polyline);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Pen.Colour, kBlack);
    EXPECT_EQ(dc.CallsOf(Kind::FillPolygon)[0].Brush->Colour, kBlack);
    EXPECT_EQ(dc.TextCalls("50.00 - PASS")[0].Colour, kBlack);
    EXPECT_EQ(dc.TextCalls("01  ")[0].Background, std::optional<ChartColour>(kWhite));
}

TEST(Printing, ScalesSolidPensAndFontsToTheDeviceResolution) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(100, 10.0);
    chart.SetCurveData(points.data(), 100, 0, 0, 0, false)->LineWidth = 2;
    chart.AddFontLabel(PixelRect{55, 0, 300, 25}, 22, 0xC80000, "Name");
    RecordingDeviceContext dc(DeviceCaps{5000, 6600, 600.0, 600.0, -1});
    chart.PrintTo(dc, 96.0, 96.0);

    EXPECT_DOUBLE_EQ(dc.LogicalScaleX(), 6.25);
    EXPECT_DOUBLE_EQ(dc.LogicalScaleY(), 6.25);
    EXPECT_EQ(CurveLines(dc)[0].Pen.Width, 13);           // 2 x 6.25, rounded
    EXPECT_EQ(CurveLines(dc)[0].Pen.Colour, 0x000080u);   // colours stay
    EXPECT_EQ(dc.TextCalls("Name")[0].Font.Height, 131);  // (22 - 1) x 6.25, rounded
    // Dotted grid lines keep their width.
    bool sawGrid = false;
    for (const Call& line : dc.CallsOf(Kind::Line)) {
        if (line.Pen.Style == kPenDot) {
            sawGrid = true;
            EXPECT_EQ(line.Pen.Width, 1);
        }
    }
    EXPECT_TRUE(sawGrid);

    // On screen nothing is scaled.
    RecordingDeviceContext screen;
    chart.Paint(screen, kClient);
    EXPECT_EQ(CurveLines(screen)[0].Pen.Width, 2);
    EXPECT_EQ(screen.TextCalls("Name")[0].Font.Height, 22);
}

TEST(Printing, LowResolutionDevicesAreScaledDownNotUp) {
    CXGraph chart;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false);
    RecordingDeviceContext dc(DeviceCaps{400, 300, 48.0, 48.0, -1});
    chart.PrintTo(dc, 96.0, 96.0);
    EXPECT_DOUBLE_EQ(dc.LogicalScaleX(), 0.5);
    EXPECT_EQ(dc.Calls()[0].Rect, (PixelRect{0, 0, 800, 600}));

    // A device that reports no resolution is printed unscaled.
    RecordingDeviceContext unknown(DeviceCaps{400, 300, 0.0, 0.0, -1});
    chart.PrintTo(unknown, 96.0, 96.0);
    EXPECT_DOUBLE_EQ(unknown.LogicalScaleX(), 1.0);
    EXPECT_EQ(unknown.Calls()[0].Rect, (PixelRect{0, 0, 400, 300}));
}

TEST(AxisDrawing, LabelsEveryTickAndDrawsGridExceptAtTheOrigin) {
    CXGraph chart;
    chart.ShowLegend = false;
    const auto points = Profile(10, 10.0);
    chart.SetCurveData(points.data(), 10, 0, 0, 0, false);
    CXGraphAxis& y = chart.YAxisAt(0);
    y.AutoScaling = false;
    y.SetDataRange(0.0, 100.0);
    y.Step = 25.0;
    y.Format = "%.2f";
    y.Title = "Ohms";
    RecordingDeviceContext dc;
    chart.Paint(dc, kClient);
    for (const char* label : {"0.00", "25.00", "50.00", "75.00", "100.00"}) {
        EXPECT_EQ(dc.TextCalls(label).size(), 1u) << label;
    }
    EXPECT_TRUE(dc.TextCalls("125.00").empty());
    ASSERT_EQ(dc.TextCalls("Ohms").size(), 1u);
    EXPECT_EQ(dc.TextCalls("Ohms")[0].Font, (ChartFont{"Arial", 14, 700}));

    // Grid lines of this axis run from its line to the plot's right edge.
    int gridLines = 0;
    for (const Call& line : dc.CallsOf(Kind::Line)) {
        if (line.Points[0].x == y.OriginX && line.Points[1].x == chart.PlotRect().right) {
            ++gridLines;
            EXPECT_EQ(line.Pen, (ChartPen{kPenDot, 1, 0x969696}));
        }
    }
    EXPECT_EQ(gridLines, 4);

    // A step far too small for the range still ends.
    y.Step = 1e-12;
    dc.Clear();
    chart.Paint(dc, kClient);
    EXPECT_LT(dc.Calls().size(), 10000u);
}

}  // namespace
}  // namespace orvik
