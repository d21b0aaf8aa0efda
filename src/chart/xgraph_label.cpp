#include "chart/xgraph_label.h"

#include "chart/chart_device_context.h"

namespace orvik {

void CXGraphLabel::Draw(ChartDeviceContext& dc) {
    if (!Transparent) {
        dc.FillRect(Rect, dc.Paper(BackgroundColour));
    }
    if (Framed) {
        dc.DrawRect(Rect, ChartPen{kPenSolid, 1, kBlack}, std::nullopt);
    }
    dc.DrawText(Font, Text, Rect.Deflated(1, 1), TextFormat, dc.Ink(TextColour), std::nullopt);
}

}  // namespace orvik
