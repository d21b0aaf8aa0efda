#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chart/xgraph_object.h"

namespace orvik {

// A free text box on the chart, in chart pixels.
class CXGraphLabel : public CXGraphObject {
  public:
    void Draw(ChartDeviceContext& dc) override;

    std::string Text = " ";
    ChartFont Font{"Arial", 14, 400};
    ChartColour BackgroundColour = kWhite;
    ChartColour TextColour = kBlack;
    bool Framed = true;        // a 1-pixel black frame around the text
    bool Transparent = false;  // the background is not filled
    // A one-pixel edge of this colour around every letter, so that the text
    // reads over the grid, the curve and the limit bands; white on a
    // monochrome page.
    std::optional<ChartColour> Outline;
    std::int32_t TextFormat = kTextLeft | kTextTop;
};

}  // namespace orvik
