#include <algorithm>
#include <string>

#include "chart/chart_device_context.h"
#include "chart/xgraph_axis.h"

namespace orvik {

namespace {

void DrawSymbol(ChartDeviceContext& dc, const PixelRect& box, std::int32_t symbol,
                ChartColour colour) {
    const ChartPen pen{kPenSolid, 1, colour};
    const ChartBrush brush{kFillSolid, colour};
    const std::int32_t l = box.left;
    const std::int32_t t = box.top;
    const std::int32_t r = box.right - 1;
    const std::int32_t b = box.bottom - 1;
    const std::int32_t cx = (l + r) / 2;
    const std::int32_t cy = (t + b) / 2;
    auto polygon = [&](std::initializer_list<PixelPoint> corners) {
        const std::vector<PixelPoint> points(corners);
        dc.FillPolygon(points, brush, FillMix::Copy);
    };
    switch (symbol) {
        case 1:
            dc.DrawEllipse(box, pen, brush);
            break;
        case 2:
            dc.DrawLine(PixelPoint{l, t}, PixelPoint{r, b}, ChartPen{kPenSolid, 2, colour});
            dc.DrawLine(PixelPoint{r, t}, PixelPoint{l, b}, ChartPen{kPenSolid, 2, colour});
            break;
        case 3:
            polygon({{cx, t}, {r, cy}, {cx, b}, {l, cy}});
            break;
        case 4:
            polygon({{l, cy}, {r, t}, {r, b}});
            break;
        case 5:
            polygon({{cx, t}, {r, b}, {l, b}});
            break;
        case 6:
            polygon({{r, cy}, {l, t}, {l, b}});
            break;
        case 7:
            polygon({{cx, b}, {l, t}, {r, t}});
            break;
        default:
            dc.DrawRect(box, pen, brush);
            break;
    }
}

}  // namespace

void DrawMarker(ChartDeviceContext& dc, std::int32_t x, std::int32_t y, std::int32_t symbol,
                std::int32_t size, ChartColour colour, bool symbolMode) {
    if (size <= 0) {
        return;
    }
    const PixelRect box{x, y, x + size, y + size};
    const ChartColour ink = dc.Ink(colour);
    if (symbolMode) {
        DrawSymbol(dc, box, symbol, ink);
        return;
    }
    dc.FillRect(box, ink);
    // The number stays readable: white on dark squares, black on light ones.
    const int brightness = std::max({RedOf(ink), GreenOf(ink), BlueOf(ink) / 2});
    const ChartColour numberColour = brightness < 129 ? kWhite : kBlack;
    dc.DrawText(ChartFont{"Arial", size, 100}, std::to_string(symbol + 1), box,
                kTextCenter | kTextVCenter | kTextSingleLine | kTextNoClip, numberColour,
                std::nullopt);
}

}  // namespace orvik
