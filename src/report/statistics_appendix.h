#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvik {

class CXGraph;

// The class counts of a test's averages: ceil(log2 n) + 1 classes (at most
// 40) of equal width over the values' range, with the limits and the target
// the averages are held to.
struct HistogramData {
    double From = 0.0;
    double Width = 0.0;
    std::vector<int> Counts;
    std::optional<double> Lower;  // LSL
    std::optional<double> Upper;  // USL
    std::optional<double> Target;
};

// The histogram of `values` (at least one, all finite).
HistogramData HistogramOf(std::span<const double> values, std::optional<double> lower,
                          std::optional<double> upper, std::optional<double> target);

// Draws a histogram on a fresh chart: the classes as bars, LSL, USL and the
// target as upright lines named at their top. When the limits lie more than
// twenty times the averages' range apart, the axis spans the averages and
// names the limits it leaves out ("Off scale: LSL 45, USL 55").
void FillHistogramChart(CXGraph& chart, const HistogramData& histogram);

// One test on a statistics page: its row of the table, why a figure is
// missing, and the histogram of its averages (none without an average).
struct AppendixTest {
    std::vector<std::string> Cells;
    std::string NotComputable;
    std::optional<HistogramData> Histogram;
};

// The lot statistics of one scripted run, printed after the report: a title,
// a line naming the run, then either the table and a histogram per test or,
// when the results database has nothing to say, one line saying why.
struct StatisticsAppendixPage {
    std::string Title;
    std::string RunLine;
    std::string Note;  // instead of the table, when there is nothing to show
    std::vector<std::string> Columns;
    std::vector<AppendixTest> Tests;
};

}  // namespace orvik
