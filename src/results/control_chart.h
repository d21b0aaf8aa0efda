#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace orvik::results {

// The four Western Electric rules, numbered as quality engineers quote them.
enum class ControlRule {
    BeyondLimits = 1,       // one point beyond the control limits (3 sigma)
    TwoOfThreeBeyond2 = 2,  // two of three in a row beyond 2 sigma, on one side
    FourOfFiveBeyond1 = 3,  // four of five in a row beyond 1 sigma, on one side
    EightOnOneSide = 4,     // eight in a row on one side of the centre line
};

// "beyond the control limits" and so on: how a violation is named to people.
const char* ControlRuleName(ControlRule rule);

// A rule broken at one point of the series: the point that completes the
// pattern, which is itself one of the points the rule counts.
struct RuleViolation {
    ControlRule Rule = ControlRule::BeyondLimits;
    std::size_t Index = 0;  // in the series, from 0

    bool operator==(const RuleViolation&) const = default;
};

// The individuals and moving-range chart of a series in the order it was
// measured. Sigma is estimated from the mean moving range (2.66 is 3 / d2
// for ranges of two), so a lot's drift between coupons does not widen its
// own limits as the overall deviation would.
struct IndividualsChart {
    double Centre = 0.0;
    double Lower = 0.0;  // Centre - 2.66 mean moving range
    double Upper = 0.0;  // Centre + 2.66 mean moving range
    double MeanMovingRange = 0.0;
    double MovingRangeUpper = 0.0;          // 3.267 mean moving range
    std::vector<RuleViolation> Violations;  // by point, then by rule
};

// The chart of `values` (all finite); none for fewer than two values, which
// have no moving range.
std::optional<IndividualsChart> ChartOf(std::span<const double> values);

}  // namespace orvik::results
