#include "report/statistics_appendix.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/c_numbers.h"
#include "chart/xgraph.h"

namespace orvik {
namespace {

constexpr ChartColour kBarColour = RgbColour(120, 145, 220);
constexpr ChartColour kLimitColour = RgbColour(200, 0, 0);
constexpr ChartColour kTargetColour = RgbColour(0, 128, 0);
// How many times wider than its averages' range the limits may lie before
// the histogram shows the averages alone.
constexpr double kNarrowLot = 20.0;

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
// lines are axis bands; two invisible corner points give the axes their ranges.
// The bands hold, in order: LSL, USL and the target (each a line and its
// name) as far as they are on the axis, what is off it, then the classes.
void FillHistogramChart(CXGraph& chart, const HistogramData& histogram) {
    const std::size_t classes = histogram.Counts.size();
    const double low = histogram.From;
    const double high = histogram.From + histogram.Width * static_cast<double>(classes);
    double from = low;
    double to = high;
    for (const auto& line : {histogram.Lower, histogram.Upper, histogram.Target}) {
        if (line) {
            from = std::min(from, *line);
            to = std::max(to, *line);
        }
    }
    // A lot far narrower than its limits would be a sliver of a bar beside
    // them: the axis then spans the averages, and the limits it leaves out
    // are named at its top instead.
    std::string offScale;
    if (to - from > kNarrowLot * (high - low)) {
        from = low - (high - low);
        to = high + (high - low);
        for (const auto& [name, line] :
             {std::pair("LSL", histogram.Lower), std::pair("USL", histogram.Upper),
              std::pair("Target", histogram.Target)}) {
            if (line && (*line < from || *line > to)) {
                offScale += (offScale.empty() ? "" : ", ") + FormatC("%s %g", name, *line);
            }
        }
    }
    const double margin = (to - from) * 0.05;
    // Room above the bars for the names of the lines, and for what is off
    // the axis below them.
    const double tallest = *std::max_element(histogram.Counts.begin(), histogram.Counts.end());
    const double top = tallest * (offScale.empty() ? 1.15 : 1.45);
    const CurvePoint extent[] = {{from - margin, 0.0}, {to + margin, top}};
    if (CXGraphDataSerie* corners = chart.SetCurveData(extent, 2, chart.CurveCount(), 0, 0, true)) {
        // Two dots of a pixel in the plot's colour: no line across the bars.
        corners->Colour = chart.PlotColour;
        corners->DrawStyle = kDrawDots;
        corners->LineWidth = 0;
    }
    CXGraphAxis& x = chart.XAxisAt(0);
    const double line = (to - from) / 300.0;
    // A line, and its name beside it at the top on the plot's own colour.
    const auto upright = [&](const std::optional<double>& at, ChartColour colour,
                             const char* text) {
        if (at && *at >= from && *at <= to) {
            x.AddAxisBand(-1, *at - line, *at + line, 0.0, top, colour, "", kFillSolid);
            x.AddAxisBand(-1, *at + line, *at + 60 * line, top * 0.86, top, chart.PlotColour, text,
                          kFillSolid);
        }
    };
    upright(histogram.Lower, kLimitColour, "LSL");
    upright(histogram.Upper, kLimitColour, "USL");
    upright(histogram.Target, kTargetColour, "Target");
    if (!offScale.empty()) {
        x.AddAxisBand(-1, from - margin, to + margin, top * 0.72, top * 0.86, chart.PlotColour,
                      "Off scale: " + offScale, kFillSolid);
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
