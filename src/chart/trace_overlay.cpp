#include "chart/trace_overlay.h"

#include "chart/coloured_text.h"
#include "chart/trace_chart.h"

namespace orvik {

namespace {

// Bright and dark colours, far apart in hue or lightness, so that each
// stands out on the graph's mid grey and next to the others. None is white:
// the legend and the cursor's readout show each colour on white.
constexpr ChartColour kOverlayPalette[kMaxOverlaidTraces] = {
    kTraceCurveColour,        RgbColour(255, 255, 0),   RgbColour(0, 255, 255),
    RgbColour(255, 0, 255),   RgbColour(255, 140, 0),   RgbColour(150, 150, 0),
    RgbColour(0, 0, 0),       RgbColour(200, 0, 0),     RgbColour(0, 0, 200),
    RgbColour(255, 170, 200), RgbColour(150, 200, 255), RgbColour(120, 60, 0),
    RgbColour(110, 0, 160),   RgbColour(0, 100, 0),     RgbColour(0, 128, 128),
    RgbColour(160, 120, 255),
};

// On the white high-contrast graph: colours that read comfortably on white
// as they are, rather than the usual ones darkened, which would run
// together.
constexpr ChartColour kHighContrastPalette[kMaxOverlaidTraces - 1] = {
    RgbColour(0, 0, 220), RgbColour(200, 0, 0),    RgbColour(170, 0, 170), RgbColour(170, 60, 0),
    RgbColour(0, 0, 0),   RgbColour(0, 120, 120),  RgbColour(100, 0, 200), RgbColour(0, 0, 110),
    RgbColour(120, 0, 0), RgbColour(60, 60, 60),   RgbColour(200, 0, 100), RgbColour(60, 60, 200),
    RgbColour(0, 70, 0),  RgbColour(120, 100, 80), RgbColour(0, 100, 180),
};

}  // namespace

ChartColour OverlayColour(std::size_t index, bool highContrast) {
    index %= kMaxOverlaidTraces;
    if (!highContrast) {
        return kOverlayPalette[index];
    }
    // The first is the single trace's own colour in the high-contrast set.
    return index == 0 ? ReadableOn(kTraceCurveColour, kWhite, kComfortableContrast)
                      : kHighContrastPalette[index - 1];
}

std::vector<std::size_t> ChooseOverlaid(std::size_t selected) {
    std::vector<std::size_t> chosen;
    const std::size_t first = selected <= kMaxOverlaidTraces ? selected : kMaxOverlaidTraces - 1;
    for (std::size_t i = 0; i < first; ++i) {
        chosen.push_back(i);
    }
    if (selected > kMaxOverlaidTraces) {
        chosen.push_back(selected - 1);
    }
    return chosen;
}

std::string OverlayNotice(std::size_t selected) {
    if (selected <= kMaxOverlaidTraces) {
        return {};
    }
    return "Showing " + std::to_string(kMaxOverlaidTraces) + " of " + std::to_string(selected) +
           " selected traces: the first " + std::to_string(kMaxOverlaidTraces - 1) +
           " and the last selected";
}

void ShowOverlay(CXGraph& chart, std::span<const OverlaidCurve> curves, bool highContrast) {
    if (chart.CurveCount() == 0 || chart.YAxisCount() == 0) {
        return;
    }
    const auto colourOf = [highContrast](ChartColour colour) {
        return highContrast ? ReadableOn(colour, kWhite, kComfortableContrast) : colour;
    };
    CXGraphAxis& y = chart.YAxisAt(0);
    const double low = y.DataMin;
    const double high = y.DataMax;
    std::int32_t next = 1;
    for (std::size_t i = 1; i < curves.size(); ++i) {
        const OverlaidCurve& overlaid = curves[i];
        CXGraphDataSerie* curve =
            chart.SetCurveSource(overlaid.Points, overlaid.Count, next, 0, 0, false);
        if (curve == nullptr) {
            continue;  // a trace without points draws nothing
        }
        curve->Label = overlaid.Label;
        curve->Colour = colourOf(overlaid.Colour);
        curve->Visible = true;
        ++next;
    }
    for (std::int32_t i = next; i < chart.CurveCount(); ++i) {
        chart.CurveAt(i).Visible = false;
    }
    // Other traces' points must not stretch the impedance axis: its range
    // follows the primary trace as always.
    y.SetDataRange(low, high);
    chart.ShowLegend = next > 1;
    if (next > 1) {
        CXGraphDataSerie& primary = chart.CurveAt(0);
        primary.Label = curves[0].Label;
        primary.Colour = colourOf(curves[0].Colour);
    }
    chart.Invalidate();
}

}  // namespace orvik
