#pragma once

#include <vector>

#include "chart/xgraph.h"

namespace orvik {

// The reference mask's edges: amber, dashed, two pixels wide, so that they
// read apart from the green trace and the red limit bands.
inline constexpr ChartColour kMaskOutlineColour = 0x00b4ff;

// Shows the mask's lower and upper edge on a chart, plotted against its first
// axes above the curves; empty edges hide them. The chart keeps its own copy
// of the points. The chart's curves, their indices and its legend are left
// alone, so other curves can come and go beside the mask.
void ShowMaskOutline(CXGraph& chart, const std::vector<CurvePoint>& lower,
                     const std::vector<CurvePoint>& upper, bool highContrast);

// The edges a chart shows now (none until ShowMaskOutline has been called).
std::vector<const CXGraphDataSerie*> MaskOutlineEdges(const CXGraph& chart);

}  // namespace orvik
