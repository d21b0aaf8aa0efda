#pragma once

#include <optional>
#include <span>
#include <string>

namespace orvik::results {

// The tolerance limits a lot is held to: the criterion's minimum and
// maximum impedance.
struct ToleranceLimits {
    double Lower = 0.0;
    double Upper = 0.0;

    bool operator==(const ToleranceLimits&) const = default;
};

// The capability figures of one characteristic over a lot. A figure that the
// values cannot give is empty, and `NotComputable` says why: a report shows
// the reason, never a number that is not one.
struct LotFigures {
    std::size_t Count = 0;
    std::optional<double> Mean;
    std::optional<double> Deviation;  // sample standard deviation (n - 1)
    std::optional<double> Minimum;
    std::optional<double> Maximum;
    std::optional<double> Cp;   // (USL - LSL) / 6 sd
    std::optional<double> Cpk;  // min(USL - mean, mean - LSL) / 3 sd
    std::optional<std::string> NotComputable;
};

// The figures of `values` (all finite) against `limits`, when the lot has
// one set of limits; without limits, Cp and Cpk are not computable and
// `noLimits` is the reason given.
LotFigures FiguresOf(std::span<const double> values, const std::optional<ToleranceLimits>& limits,
                     const std::string& noLimits = "the tolerance limits are not known");

}  // namespace orvik::results
