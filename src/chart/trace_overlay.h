#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "chart/xgraph.h"

namespace orvik {

// At most this many traces are drawn together.
inline constexpr std::size_t kMaxOverlaidTraces = 16;

// The colour of the trace at `index` in the order the operator selected
// them: the first in the trace graph's own green, the others each different
// from it and from one another, on the grey graph or on the white one of the
// high-contrast colours.
ChartColour OverlayColour(std::size_t index, bool highContrast = false);

// Which of `selected` traces (in the order of selection, the primary one
// last) are drawn: all of them up to the limit; beyond it the first ones and
// the primary, whose summary the graph shows.
std::vector<std::size_t> ChooseOverlaid(std::size_t selected);

// What the graph says when it leaves selected traces out; empty otherwise.
std::string OverlayNotice(std::size_t selected);

// One trace of an overlay.
struct OverlaidCurve {
    CurvePointSource Points;
    std::int32_t Count = 0;
    std::string Label;
    ChartColour Colour = 0;
};

// Draws an overlay on a chart that ShowTraceChart has set up: `curves[0]` is
// the primary trace, already curve 0 (only its label and colour are taken),
// the others become curves 1, 2, ... over the same axes, referring to the
// caller's points. Curves left over from a larger overlay are hidden. With
// more than one curve the legend names them; with one, curve 0 keeps the
// trace graph's look. The impedance axis keeps the range it had.
void ShowOverlay(CXGraph& chart, std::span<const OverlaidCurve> curves, bool highContrast);

}  // namespace orvik
