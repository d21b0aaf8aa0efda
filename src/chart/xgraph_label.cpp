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
    const PixelRect box = Rect.Deflated(1, 1);
    if (Outline) {
        const ChartColour edge = dc.Monochrome() ? kWhite : *Outline;
        for (std::int32_t dy = -1; dy <= 1; ++dy) {
            for (std::int32_t dx = -1; dx <= 1; ++dx) {
                if (dx != 0 || dy != 0) {
                    const PixelRect moved{box.left + dx, box.top + dy, box.right + dx,
                                          box.bottom + dy};
                    dc.DrawText(Font, Text, moved, TextFormat, edge, std::nullopt);
                }
            }
        }
    }
    dc.DrawText(Font, Text, box, TextFormat, dc.Ink(TextColour), std::nullopt);
}

}  // namespace orvik
