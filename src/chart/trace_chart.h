#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "chart/xgraph.h"

namespace orvik {

inline constexpr ChartColour kTraceChartGrey = 0x787878;
inline constexpr ChartColour kTraceCurveColour = 0x64ff64;
inline constexpr ChartColour kTraceNameColour = 0xc80000;
inline constexpr ChartColour kVerdictPassColour = 0x37ff00;
inline constexpr ChartColour kVerdictFailColour = 0x0000ff;
inline constexpr ChartColour kLimitBandColour = 0x6464ff;
inline constexpr double kLimitBandTop = 1000.0;

// What the trace graph writes beside the plot of a trace, one label each.
struct GraphSummary {
    enum Label { Name, Time, Average, Extremes, Limits, Window, CriterionName, Verdict, Count };

    std::array<std::string, Count> Texts;
    ChartColour VerdictColour = kVerdictPassColour;
    // Texts longer than the usual ones (a verdict with its reason, positions
    // in millimetres): their labels reach further right.
    bool LongTexts = false;
};

// The figures of a judged trace that its summary shows.
struct TraceFigures {
    std::string Name;
    std::string Time;  // already formatted
    std::string CriterionName;
    double Average = 0.0;
    double Maximum = 0.0;
    double Minimum = 0.0;
    double MaximumLimit = 0.0;
    double MinimumLimit = 0.0;
    double StartPosition = 0.0;
    double EndPosition = 0.0;
    bool Passed = false;
};

GraphSummary SummariseFigures(const TraceFigures& figures);

// The impedance axis shows 0 to 200 ohms for averages above 85, else 0 to 100.
double ImpedanceAxisTop(double average);

// A criterion's window, drawn as two hatched bands: above the maximum and
// below the minimum impedance.
struct TraceLimits {
    double StartPosition = 0.0;
    double EndPosition = 0.0;
    double MinimumImpedance = 0.0;
    double MaximumImpedance = 0.0;
};

// The graph's background: grey, or white in the high-contrast colours.
ChartColour TraceChartBackground(bool highContrast);

// Sets a chart up as the trace graph shows a trace, on screen, in the sample
// pictures and on paper alike: a grey window without legend; curve 0 (when
// there is one) as the green "Trace"; gridded axes titled "Inches" and
// "Ohms", the impedance axis from 0 to `axisTop`; the eight summary labels in
// their places (added on the first call) with `summary`'s texts; and the
// limit bands when `limits` are given. The curve's points are the caller's:
// hand them to the chart before this call, which then fixes the axis range.
// Every summary label has a thin outline that sets it off from whatever lies
// behind it. In the high-contrast colours the window is white and the texts
// and the curve are darkened until they read comfortably there.
void ShowTraceChart(CXGraph& chart, const GraphSummary& summary, double axisTop,
                    const std::optional<TraceLimits>& limits, bool highContrast = false);

// A summary label of a chart that ShowTraceChart has set up.
CXGraphLabel& TraceChartLabel(CXGraph& chart, GraphSummary::Label which);

}  // namespace orvik
