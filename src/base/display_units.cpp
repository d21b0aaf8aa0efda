#include "base/display_units.h"

#include <cmath>
#include <cstdlib>

#include "base/c_numbers.h"

namespace orvik {

namespace {

constexpr double kSpeedOfLightMetresPerSecond = 299792458.0;
constexpr double kMetresPerInch = 0.0254;

bool UsableFactor(double factor) {
    return std::isfinite(factor) && factor > 0 && factor <= 1;
}

}  // namespace

double ToShownLength(double inches, LengthUnit unit) {
    return unit == LengthUnit::Millimetres ? inches * kMillimetresPerInch : inches;
}

double FromShownLength(double shown, LengthUnit unit) {
    return unit == LengthUnit::Millimetres ? shown / kMillimetresPerInch : shown;
}

const char* LengthUnitTitle(LengthUnit unit) {
    return unit == LengthUnit::Millimetres ? "Millimetres" : "Inches";
}

const char* LengthUnitSuffix(LengthUnit unit) {
    return unit == LengthUnit::Millimetres ? "mm" : "in";
}

std::optional<double> DelayPicoseconds(double inches, const DisplayUnits& units) {
    if (!units.VelocityFactor || !UsableFactor(*units.VelocityFactor))
        return std::nullopt;
    const double seconds =
        inches * kMetresPerInch / (*units.VelocityFactor * kSpeedOfLightMetresPerSecond);
    return seconds * 1e12;
}

std::string VelocityFactorText(const std::optional<double>& factor) {
    return factor && UsableFactor(*factor) ? ShortestC(*factor) : std::string();
}

std::optional<double> ParseVelocityFactor(const std::string& text, bool* valid) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        *valid = true;
        return std::nullopt;
    }
    char* end = nullptr;
    const double factor = ParseC(text.c_str() + first, &end);
    while (*end == ' ' || *end == '\t')
        ++end;
    *valid = *end == '\0' && end != text.c_str() + first && UsableFactor(factor);
    if (!*valid)
        return std::nullopt;
    return factor;
}

}  // namespace orvik
