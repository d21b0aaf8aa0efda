#pragma once

#include <cfloat>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chart/axis_scaling.h"
#include "chart/xgraph_object.h"

namespace orvik {

// A filled rectangle in data coordinates behind the curves, such as the
// region outside a criterion's limits.
struct AxisBand {
    double XFrom = 0.0;
    double XTo = 0.0;
    double YFrom = 0.0;
    double YTo = 0.0;
    ChartColour Colour = kBlack;
    std::int32_t FillStyle = kFillSolid;
    bool LimitToXRange = true;  // otherwise the band spans the whole plot width
    std::string Text;           // at most kMaxBandText characters

    static constexpr std::size_t kMaxBandText = 259;
};

inline constexpr int kHorizontalAxis = 0;  // an X axis
inline constexpr int kVerticalAxis = 1;    // a Y axis

inline constexpr int kPlaceLeft = 0;
inline constexpr int kPlaceRight = 1;
inline constexpr int kPlaceAlternate = 2;

// The straight-line map of one axis from data values to pixels.
struct AxisMapping {
    double Scale = 0.0;   // pixels per data unit
    double Min = 0.0;     // data value at the origin
    double Origin = 0.0;  // plot left for X axes, plot bottom for Y axes
    bool Vertical = false;

    std::int32_t Map(double value) const {
        return Vertical ? TruncateToPixel(Origin - Scale * (value - Min))
                        : TruncateToPixel(Scale * (value - Min) + Origin);
    }
};

// A part of an axis' data range that the operator has zoomed into.
struct AxisWindow {
    double From = 0.0;
    double To = 0.0;

    bool operator==(const AxisWindow&) const = default;
};

// One axis: its range and ticks, its labels and title, and its bands.
class CXGraphAxis : public CXGraphObject {
  public:
    CXGraphAxis() = default;
    explicit CXGraphAxis(int orientation) : Orientation(orientation) {}

    // Sets the data range and the visible range. Refuses (returning false)
    // a reversed or non-finite range; an empty range a..a becomes a-1..a+1.
    bool SetDataRange(double min, double max);

    // Fits step and visible range to the plot size.
    void AutoScale(ChartDeviceContext& dc);

    // X axes fill only x, Y axes only y.
    PixelPoint ValueToPixel(CurvePoint point);
    AxisMapping Mapping() const;

    // Replaces band `index`, or appends the band when there is no such band.
    void AddAxisBand(std::int32_t index, double xFrom, double xTo, double yFrom, double yTo,
                     ChartColour colour, std::string_view text, std::int32_t fillStyle);

    // Before drawing: scale, measure the title and fix the length. The chart
    // has set the origin by then.
    void Layout(ChartDeviceContext& dc);
    // Bands, curve-marker strip, title, ticks, labels, grid, line and arrow.
    void Draw(ChartDeviceContext& dc) override;

    bool IsVertical() const { return Orientation == kVerticalAxis; }
    // Width of the wider of the formatted range ends; height of a label.
    std::int32_t WidestLabelWidth(ChartDeviceContext& dc) const;
    std::int32_t LabelHeight(ChartDeviceContext& dc) const;
    TextExtent TitleExtent(ChartDeviceContext& dc) const;
    std::string FormatValue(double value) const;
    // Pixels taken by the curve-marker strip (0 when it is off).
    std::int32_t MarkerStripExtent() const;

    std::vector<AxisBand> Bands;
    double DataMin = DBL_MAX;
    double DataMax = -DBL_MAX;
    double Min = DBL_MAX;
    double Max = -DBL_MAX;
    double Step = 0.1;
    double LabelReserve = 0.0;  // beside the far end: arrow and title
    double LabelExtent = 0.0;   // the curve-marker strip
    double Span = 1.0;
    std::int32_t OriginY = 0;
    std::int32_t OriginX = 0;
    std::int32_t Length = 1;
    std::int32_t Orientation = kHorizontalAxis;
    std::int32_t Placement = kPlaceAlternate;
    bool ShowCurveMarkers = true;
    bool DateAxis = false;
    bool ShowGrid = true;
    bool AutoScaling = true;
    std::string Title = " ";
    std::string Format = "%5.1f";
    std::int32_t ArrowSize = 5;
    std::int32_t CurveMarkerSize = 10;
    std::int32_t TickLength = 5;  // also the gap between labels and title
    ChartColour GridColour = 0x969696;
    std::int32_t GridStyle = kPenDot;
    ChartFont LabelFont{"Arial", 13, 400};
    ChartFont TitleFont{"Arial", 14, 700};
    // While set, auto scale fits the ticks to this part of the data range
    // instead of the whole of it, by the same 1-2-5 and alignment rules.
    std::optional<AxisWindow> Zoom;
    // Tick labels show data values times this (millimetres per inch, say);
    // the ticks then fall on round numbers of the shown unit.
    double ShownPerUnit = 1.0;

    // Where the title stands, as the last layout placed it.
    PixelRect TitleBox() const;

  private:
    PixelRect PlotRect() const;
    std::int32_t AvailableLength() const;
    double ReserveBase() const;
    std::int32_t TickCount() const;
    const CXGraphAxis* CrossAxis() const;
    void RecomputeStep();
    void DrawBands(ChartDeviceContext& dc);
    void DrawMarkerStrip(ChartDeviceContext& dc);
    void DrawTitle(ChartDeviceContext& dc);
    void DrawTicks(ChartDeviceContext& dc);
    void DrawLineAndArrow(ChartDeviceContext& dc);
    // The filled triangle at the far end of the axis line.
    void DrawArrow(ChartDeviceContext& dc, PixelPoint tip, PixelPoint baseFrom, PixelPoint baseTo);

    TextExtent title_;
};

// One curve marker in the box (x, y)-(x + size, y + size). With symbol mode
// the symbol's shape (0 square, 1 circle, 2 diagonal cross, 3 diamond,
// 4 to 7 triangles pointing left, up, right, down); otherwise a filled square
// showing the number symbol + 1.
void DrawMarker(ChartDeviceContext& dc, std::int32_t x, std::int32_t y, std::int32_t symbol,
                std::int32_t size, ChartColour colour, bool symbolMode);

}  // namespace orvik
