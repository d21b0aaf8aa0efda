#pragma once

#include <optional>
#include <string>

namespace orvik {

// How the operator wants positions shown. Files, criteria and the arithmetic
// keep inches; only what is shown (axis, cursor, summary, criteria editor)
// follows this choice.
enum class LengthUnit { Inches, Millimetres };

// The choices from Preferences that change how positions read on screen and
// on paper.
struct DisplayUnits {
    LengthUnit Length = LengthUnit::Inches;
    // Propagation velocity as a fraction of the speed of light in vacuum
    // (0 < factor <= 1); without it no delay is shown.
    std::optional<double> VelocityFactor;

    friend bool operator==(const DisplayUnits&, const DisplayUnits&) = default;
};

inline constexpr double kMillimetresPerInch = 25.4;  // exact by definition

// Inches to the shown unit and back; an inch is exactly 25.4 mm, so a value
// typed in millimetres and shown again reads as typed.
double ToShownLength(double inches, LengthUnit unit);
double FromShownLength(double shown, LengthUnit unit);

// The unit's name as an axis title ("Inches", "Millimetres") and as a short
// suffix after a number ("in", "mm").
const char* LengthUnitTitle(LengthUnit unit);
const char* LengthUnitSuffix(LengthUnit unit);

// One-way time of flight, in picoseconds, from the coupon's start to a
// position, at the chosen propagation velocity; none when no velocity is set
// or it is not a usable fraction of the speed of light.
std::optional<double> DelayPicoseconds(double inches, const DisplayUnits& units);

// A velocity factor as Preferences and the settings store it: "" for none;
// parsing refuses anything outside (0, 1].
std::string VelocityFactorText(const std::optional<double>& factor);
std::optional<double> ParseVelocityFactor(const std::string& text, bool* valid);

}  // namespace orvik
