#pragma once

#include "chart/chart_types.h"

namespace orvik {

class CXGraph;
class ChartDeviceContext;

// Everything a chart draws: axes, curves and free labels.
class CXGraphObject {
  public:
    virtual ~CXGraphObject() = default;

    // The base draws nothing.
    virtual void Draw(ChartDeviceContext& dc);

    PixelRect Rect;  // for axes: the area found while drawing
    bool Visible = true;
    ChartColour Colour = kBlack;
    CXGraph* Owner = nullptr;
};

}  // namespace orvik
