#include "chart/trace_chart.h"

#include "base/c_numbers.h"
#include "chart/coloured_text.h"

namespace orvik {
namespace {

struct LabelPlace {
    PixelRect Rect;
    std::int32_t FontHeight;
    ChartColour Colour;
};

// Where each summary label stands, in the order of GraphSummary::Label.
constexpr std::array<LabelPlace, GraphSummary::Count> kLabelPlaces = {{
    {{55, 0, 1000, 25}, 22, kTraceNameColour},
    {{55, 25, 300, 45}, 18, kBlack},
    {{55, 45, 300, 65}, 18, kBlack},
    {{55, 65, 300, 85}, 18, kBlack},
    {{55, 85, 300, 105}, 18, kBlack},
    {{55, 105, 300, 125}, 18, kBlack},
    {{55, 125, 300, 145}, 18, kBlack},
    {{55, 145, 400, 190}, 40, kVerdictPassColour},
}};

// Where a label stands; longer texts (a verdict with its reason, positions
// in millimetres) reach further right, as far as the name's line.
PixelRect PlaceOf(GraphSummary::Label which, bool longTexts) {
    PixelRect rect = kLabelPlaces[static_cast<std::size_t>(which)].Rect;
    if (longTexts && (which == GraphSummary::Verdict || which == GraphSummary::Window)) {
        rect.right = kLabelPlaces[GraphSummary::Name].Rect.right;
    }
    return rect;
}

// A colour of the graph in the chosen colour set.
ChartColour InSet(ChartColour colour, bool highContrast) {
    return highContrast ? ReadableOn(colour, kWhite, kComfortableContrast) : colour;
}

void StyleChart(CXGraph& chart, bool highContrast) {
    chart.DoubleBuffered = true;
    chart.ShowLegend = false;
    chart.BackColour = chart.GraphColour = chart.PlotColour = TraceChartBackground(highContrast);
    if (chart.CurveCount() > 0) {
        CXGraphDataSerie& curve = chart.CurveAt(0);
        curve.Label = "Trace";
        curve.Colour = InSet(kTraceCurveColour, highContrast);
    }
    CXGraphAxis& x = chart.XAxisAt(0);
    CXGraphAxis& y = chart.YAxisAt(0);
    for (CXGraphAxis* axis : {&x, &y}) {
        axis->ShowGrid = true;
        axis->ShowCurveMarkers = false;
    }
    y.Title = "Ohms";
    x.Title = "Inches";
}

}  // namespace

GraphSummary SummariseFigures(const TraceFigures& figures) {
    GraphSummary summary;
    summary.Texts[GraphSummary::Name] = figures.Name;
    summary.Texts[GraphSummary::Time] = figures.Time;
    summary.Texts[GraphSummary::Average] = FormatC("Avg: %.2lf", PrintableNumber(figures.Average));
    summary.Texts[GraphSummary::Extremes] =
        FormatC("Max: %.2lf  Min: %.2lf", figures.Maximum, figures.Minimum);
    summary.Texts[GraphSummary::Limits] =
        FormatC("Max Limit: %.2lf  Min Limit: %.2lf", figures.MaximumLimit, figures.MinimumLimit);
    // The window is shown end first.
    summary.Texts[GraphSummary::Window] =
        FormatC("Max Pos: %.2lf  Min Pos: %.2lf", figures.EndPosition, figures.StartPosition);
    summary.Texts[GraphSummary::CriterionName] = "Criteria: " + figures.CriterionName;
    summary.Texts[GraphSummary::Verdict] =
        FormatC("%.2lf - %s", PrintableNumber(figures.Average), figures.Passed ? "PASS" : "FAIL");
    summary.VerdictColour = figures.Passed ? kVerdictPassColour : kVerdictFailColour;
    return summary;
}

double ImpedanceAxisTop(double average) {
    return average > 85.0 ? 200.0 : 100.0;
}

ChartColour TraceChartBackground(bool highContrast) {
    return highContrast ? kWhite : kTraceChartGrey;
}

void ShowTraceChart(CXGraph& chart, const GraphSummary& summary, double axisTop,
                    const std::optional<TraceLimits>& limits, bool highContrast) {
    StyleChart(chart, highContrast);
    CXGraphAxis& y = chart.YAxisAt(0);
    y.SetDataRange(0.0, axisTop);
    y.Format = "%.2f";
    if (chart.Objects().empty()) {
        for (const LabelPlace& place : kLabelPlaces) {
            chart.AddFontLabel(place.Rect, place.FontHeight, place.Colour, "");
        }
    }
    for (int i = 0; i < GraphSummary::Count; ++i) {
        CXGraphLabel& label = TraceChartLabel(chart, static_cast<GraphSummary::Label>(i));
        label.Text = summary.Texts[i];
        label.Rect = PlaceOf(static_cast<GraphSummary::Label>(i), summary.LongTexts);
        const ChartColour colour = i == GraphSummary::Verdict
                                       ? summary.VerdictColour
                                       : kLabelPlaces[static_cast<std::size_t>(i)].Colour;
        label.TextColour = InSet(colour, highContrast);
        label.Outline = OutlineFor(label.TextColour);
    }
    if (limits) {
        CXGraphAxis& x = chart.XAxisAt(0);
        x.AddAxisBand(0, limits->StartPosition, limits->EndPosition, limits->MaximumImpedance,
                      kLimitBandTop, kLimitBandColour, "", kHatchBackwardDiagonal);
        x.AddAxisBand(1, limits->StartPosition, limits->EndPosition, 0.0, limits->MinimumImpedance,
                      kLimitBandColour, "", kHatchBackwardDiagonal);
    }
}

CXGraphLabel& TraceChartLabel(CXGraph& chart, GraphSummary::Label which) {
    return dynamic_cast<CXGraphLabel&>(*chart.Objects().at(static_cast<std::size_t>(which)));
}

}  // namespace orvik
