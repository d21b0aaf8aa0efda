#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/display_units.h"
#include "chart/xgraph.h"

namespace orvik {

// A curve's value at a position: along the straight line between the two
// points around it, as the curve is drawn. None outside the curve, or where
// either of those points is not a number. The points must rise in x.
std::optional<double> CurveValueAt(const CXGraphDataSerie& curve, double x);

// One line of the readout, with the colour of the curve it reads when it
// reads one.
struct ReadoutLine {
    std::string Text;
    std::optional<ChartColour> Swatch;
};

// What the cursor over the plot reads: the position under it (in the shown
// unit), the delay to it when a propagation velocity is set, and every shown
// curve's impedance there.
struct CursorReadout {
    std::int32_t Column = 0;  // pixel column of the cursor line
    std::vector<ReadoutLine> Lines;
};

// The readout at a pixel column, by the chart's last layout; none when the
// column lies outside the plot.
std::optional<CursorReadout> ReadCursor(const CXGraph& chart, std::int32_t column,
                                        const DisplayUnits& units);

// The places the readout must leave visible: every label of the chart that
// shows a text.
std::vector<PixelRect> ShownLabelRects(const CXGraph& chart);

// Where a readout box of `size` goes: beside the cursor line (right of it
// when there is room, else left), as high in the plot as it can without
// covering any of `avoid`. None when the plot has no such place.
std::optional<PixelRect> PlaceReadout(TextExtent size, std::int32_t column, const PixelRect& plot,
                                      std::span<const PixelRect> avoid);

// Draws the cursor line across the plot and, where PlaceReadout finds room,
// the readout box. Returns the box, if drawn.
std::optional<PixelRect> DrawCursorReadout(DeviceContext& dc, const CXGraph& chart,
                                           const CursorReadout& readout,
                                           std::span<const PixelRect> avoid);

}  // namespace orvik
