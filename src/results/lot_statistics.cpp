// Lot figures by two passes over the values (the mean, then the squared
// deviations from it), which keeps the deviation of impedances near 50 ohms
// exact to the last digits where a one-pass sum of squares would cancel.
#include "results/lot_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace orvik::results {

LotFigures FiguresOf(std::span<const double> values, const std::optional<ToleranceLimits>& limits,
                     const std::string& noLimits) {
    LotFigures figures;
    figures.Count = values.size();
    if (values.empty()) {
        figures.NotComputable = "no measurements";
        return figures;
    }
    const double n = static_cast<double>(values.size());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    figures.Mean = mean;
    figures.Minimum = *low;
    figures.Maximum = *high;
    if (values.size() < 2) {
        figures.NotComputable = "one measurement: the spread needs at least two";
        return figures;
    }
    // Equal values have no spread, even where their mean is an ulp off them.
    double squares = 0.0;
    for (const double value : *low == *high ? std::span<const double>() : values) {
        squares += (value - mean) * (value - mean);
    }
    const double deviation = std::sqrt(squares / (n - 1.0));
    figures.Deviation = deviation;
    if (!limits) {
        figures.NotComputable = noLimits;
    } else if (deviation == 0.0) {
        figures.NotComputable = "the measurements do not vary (standard deviation 0)";
    } else {
        figures.Cp = (limits->Upper - limits->Lower) / (6.0 * deviation);
        figures.Cpk = std::min(limits->Upper - mean, mean - limits->Lower) / (3.0 * deviation);
    }
    return figures;
}

}  // namespace orvik::results
