#pragma once

#include <cstdint>

#include "base/display_units.h"
#include "chart/xgraph.h"

namespace orvik {

// How far the operator can look into a chart: the shown part of an axis is
// never narrower than its data range divided by this.
inline constexpr double kMaxZoom = 1000.0;

// Zoom and pan of a chart's first X and Y axes, and the map between the
// chart window's pixels and data values as the chart was last laid out.
//
// The axes keep the requested part of their data range (CXGraphAxis::Zoom);
// each paint fits 1-2-5 ticks to it and widens it to whole ticks, so the
// shown range covers at least what was asked for. Zooming and panning start
// from the requested part, not the widened one, so repeated steps do not
// drift outwards.
class ChartView {
  public:
    explicit ChartView(CXGraph& chart) : chart_(chart) {}

    // The data values at the centre of a pixel, and the pixel a value falls
    // in, both by the last layout.
    CurvePoint PixelToValue(PixelPoint pixel) const;
    PixelPoint ValueToPixel(CurvePoint value) const;

    // A factor below 1 zooms in, above 1 out, keeping the value under the
    // pixel where it is. Zoomed out to the whole data range, the view is reset.
    void ZoomAround(PixelPoint pixel, double factor);
    // Shows what lies between two corners of a dragged rectangle; false, with
    // nothing changed, for a rectangle too thin to mean one.
    bool ZoomToRect(PixelPoint corner, PixelPoint opposite);
    // Moves the shown part as if the plot were dragged by dx, dy pixels,
    // never past the ends of the data range.
    void PanBy(std::int32_t dx, std::int32_t dy);
    // The whole data range again.
    void Reset();
    bool IsZoomed() const;

  private:
    CXGraph& chart_;
};

// The data values at the centre of a pixel by the chart's last layout.
CurvePoint ChartValueAt(const CXGraph& chart, PixelPoint pixel);

// A dragged rectangle thinner than this (in pixels) is taken as a click.
inline constexpr std::int32_t kMinZoomDrag = 4;

// Shows the chart's first X axis (positions held in inches) in the operator's
// unit: its title and tick labels, with the ticks on round numbers of it.
void ShowPositionsIn(CXGraph& chart, LengthUnit unit);

}  // namespace orvik
