#pragma once

#include <optional>
#include <string>

#include <string_view>
#include <vector>
#include "base/failure.h"

namespace orvik::sim {

// The impedance of a coupon trace along its length, as the simulated
// instrument's operator describes it: "50" (a uniform 50-ohm trace 10 inches
// long) or segments "Z@FROM-TO" in inches, comma-separated, following each
// other from 0 without gaps, for example "50@0-4,60@4-6,50@6-10". The trace
// ends open after its last segment.
class CouponProfile {
  public:
    struct Segment {
        double Impedance;  // ohms
        double From;       // inches
        double To;         // inches

        bool operator==(const Segment&) const = default;
    };

    static constexpr double kUniformLength = 10.0;   // inches, for the "50" form
    static constexpr double kLongestProfile = 60.0;  // inches

    // A uniform trace of `impedance` ohms, `length` inches long.
    static CouponProfile Uniform(double impedance, double length = kUniformLength);

    // The profile `text` gives, or a failure whose message says why it is none.
    static Result<CouponProfile> Parse(std::string_view text);

    const std::vector<Segment>& Segments() const { return segments_; }
    double Length() const { return segments_.empty() ? 0.0 : segments_.back().To; }
    // Impedance at `position` inches; the last segment's beyond the end.
    double ImpedanceAt(double position) const;
    // The profile written back in its segment form.
    std::string Text() const;

    bool operator==(const CouponProfile&) const = default;

  private:
    static std::optional<CouponProfile> ParseOrExplain(std::string_view text, std::string* error);
    std::vector<Segment> segments_;
};

// The --simulate option, which the program and orvik-cli read alike:
// "--simulate" runs on the simulated MV300 with its default coupons,
// "--simulate=PROFILE" with the coupon PROFILE on both cables.
struct SimulateOption {
    std::optional<std::string> ProfileText;
    std::optional<CouponProfile> Coupon;
};

inline constexpr std::string_view kSimulateOption = "--simulate";

// Nothing when `argument` is not the option; a failure saying why when its
// PROFILE is none.
std::optional<Result<SimulateOption>> ReadSimulateOption(std::string_view argument);

}  // namespace orvik::sim
