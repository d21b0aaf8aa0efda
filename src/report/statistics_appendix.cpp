#include "report/statistics_appendix.h"

#include <algorithm>
#include <cmath>

#include "chart/xgraph.h"

namespace orvik {
namespace {

constexpr ChartColour kBarColour = RgbColour(120, 145, 220);
constexpr ChartColour kLimitColour = RgbColour(200, 0, 0);
constexpr ChartColour kTargetColour = RgbColour(0, 128, 0);

}  // namespace

HistogramData HistogramOf(std::span<const double> values, std::optional<double> lower,
                          std::optional<double> upper, std::optional<double> target) {
    HistogramData histogram;
    histogram.Lower = lower;
    histogram.Upper = upper;
    histogram.Target = target;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    // A lot whose averages are all equal still gets one class of some width.
    const double top = std::max(*high, *low + 1e-9);
    const int classes = std::clamp(
        static_cast<int>(std::ceil(std::log2(static_cast<double>(values.size())))) + 1, 1, 40);
    histogram.From = *low;
    histogram.Width = (top - *low) / classes;
    histogram.Counts.assign(static_cast<std::size_t>(classes), 0);
    for (const double value : values) {
        const int bin =
            std::clamp(static_cast<int>((value - *low) / histogram.Width), 0, classes - 1);
        ++histogram.Counts[static_cast<std::size_t>(bin)];
    }
    return histogram;
}

// The chart draws a curve one point per pixel column, so the bars and the
// lines are axis bands; an invisible diagonal gives the axes their ranges.
// The bands hold, in order: LSL, USL and the target (each a line and its
// name), then the classes.
void FillHistogramChart(CXGraph& chart, const HistogramData& histogram) {
    const std::size_t classes = histogram.Counts.size();
    double from = histogram.From;
    double to = histogram.From + histogram.Width * static_cast<double>(classes);
    for (const auto& line : {histogram.Lower, histogram.Upper, histogram.Target}) {
        if (line) {
            from = std::min(from, *line);
            to = std::max(to, *line);
        }
    }
    const double margin = (to - from) * 0.05;
    const double top = *std::max_element(histogram.Counts.begin(), histogram.Counts.end()) * 1.15;
    const CurvePoint extent[] = {{from - margin, 0.0}, {to + margin, top}};
    if (CXGraphDataSerie* diagonal =
            chart.SetCurveData(extent, 2, chart.CurveCount(), 0, 0, true)) {
        diagonal->Colour = chart.PlotColour;
    }
    CXGraphAxis& x = chart.XAxisAt(0);
    const double line = (to - from) / 300.0;
    // A line, and its name beside it at the top on the plot's own colour.
    const auto upright = [&](double at, ChartColour colour, const char* text) {
        x.AddAxisBand(-1, at - line, at + line, 0.0, top, colour, "", kFillSolid);
        x.AddAxisBand(-1, at + line, at + 60 * line, top * 0.86, top, chart.PlotColour, text,
                      kFillSolid);
    };
    if (histogram.Lower) {
        upright(*histogram.Lower, kLimitColour, "LSL");
    }
    if (histogram.Upper) {
        upright(*histogram.Upper, kLimitColour, "USL");
    }
    if (histogram.Target) {
        upright(*histogram.Target, kTargetColour, "Target");
    }
    // The bars over the lines: a capable lot's classes can all be narrower
    // than the target's line.
    for (std::size_t i = 0; i < classes; ++i) {
        const double left = histogram.From + histogram.Width * static_cast<double>(i);
        x.AddAxisBand(-1, left, left + histogram.Width, 0.0, histogram.Counts[i], kBarColour, "",
                      kFillSolid);
    }
    chart.ShowLegend = false;
    chart.XAxisAt(0).Title = "Ohms";
    chart.YAxisAt(0).Title = "Count";
    chart.YAxisAt(0).Format = "%g";
    chart.XAxisAt(0).Format = "%.6g";
    for (CXGraphAxis* axis : {&chart.XAxisAt(0), &chart.YAxisAt(0)}) {
        axis->ShowCurveMarkers = false;
    }
}

}  // namespace orvik
