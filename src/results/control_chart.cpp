#include "results/control_chart.h"

#include <cmath>
#include <numeric>

namespace orvik::results {
namespace {

constexpr double kLimitFactor = 2.66;        // 3 / d2, d2 = 1.128 for ranges of two
constexpr double kRangeLimitFactor = 3.267;  // D4 for ranges of two

// How many of the `window` points ending at `last` lie beyond `zone` sigmas
// on the side `side` (+1 above the centre, -1 below); fewer points at the
// start of the series count as they are.
int CountBeyond(std::span<const double> values, std::size_t last, std::size_t window, double centre,
                double sigma, double zone, int side) {
    int count = 0;
    const std::size_t first = last + 1 >= window ? last + 1 - window : 0;
    for (std::size_t i = first; i <= last; ++i) {
        count += side * (values[i] - centre) > zone * sigma ? 1 : 0;
    }
    return count;
}

// Whether point `i` completes a pattern of the rule on side `side`.
bool Breaks(ControlRule rule, std::span<const double> values, std::size_t i,
            const IndividualsChart& chart, double sigma, int side) {
    const double centre = chart.Centre;
    switch (rule) {
        case ControlRule::BeyondLimits:
            return side > 0 ? values[i] > chart.Upper : values[i] < chart.Lower;
        case ControlRule::TwoOfThreeBeyond2:
            return side * (values[i] - centre) > 2.0 * sigma &&
                   CountBeyond(values, i, 3, centre, sigma, 2.0, side) >= 2;
        case ControlRule::FourOfFiveBeyond1:
            return side * (values[i] - centre) > sigma &&
                   CountBeyond(values, i, 5, centre, sigma, 1.0, side) >= 4;
        case ControlRule::EightOnOneSide:
            return CountBeyond(values, i, 8, centre, sigma, 0.0, side) == 8;
    }
    return false;
}

}  // namespace

const char* ControlRuleName(ControlRule rule) {
    switch (rule) {
        case ControlRule::BeyondLimits:
            return "one point beyond the control limits";
        case ControlRule::TwoOfThreeBeyond2:
            return "two of three points beyond 2 sigma on one side";
        case ControlRule::FourOfFiveBeyond1:
            return "four of five points beyond 1 sigma on one side";
        case ControlRule::EightOnOneSide:
            return "eight points in a row on one side of the centre line";
    }
    return "";
}

std::optional<IndividualsChart> ChartOf(std::span<const double> values) {
    if (values.size() < 2) {
        return std::nullopt;
    }
    IndividualsChart chart;
    chart.Centre =
        std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    double ranges = 0.0;
    for (std::size_t i = 1; i < values.size(); ++i) {
        ranges += std::fabs(values[i] - values[i - 1]);
    }
    chart.MeanMovingRange = ranges / static_cast<double>(values.size() - 1);
    chart.Lower = chart.Centre - kLimitFactor * chart.MeanMovingRange;
    chart.Upper = chart.Centre + kLimitFactor * chart.MeanMovingRange;
    chart.MovingRangeUpper = kRangeLimitFactor * chart.MeanMovingRange;
    if (chart.MeanMovingRange == 0.0) {
        // Equal values: the mean may sit an ulp off them, which is no pattern.
        return chart;
    }
    const double sigma = kLimitFactor * chart.MeanMovingRange / 3.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        for (const ControlRule rule :
             {ControlRule::BeyondLimits, ControlRule::TwoOfThreeBeyond2,
              ControlRule::FourOfFiveBeyond1, ControlRule::EightOnOneSide}) {
            if (Breaks(rule, values, i, chart, sigma, 1) ||
                Breaks(rule, values, i, chart, sigma, -1)) {
                chart.Violations.push_back({rule, i});
            }
        }
    }
    return chart;
}

}  // namespace orvik::results
