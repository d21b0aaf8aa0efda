#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvik {

// The 1-2-5 tick step for about `n` ticks over min..max: the smallest of
// 1, 2, 5 and 10 times a power of ten that is at least (max - min) / n.
// Returns `currentStep` when no step follows from the range (an empty,
// reversed or non-finite range).
double ComputeTickStep(int n, double min, double max, double currentStep);

// Widens min and max to whole multiples of `step`: min becomes min - step
// truncated toward zero to a multiple, max becomes max + step truncated
// likewise; a bound whose shifted value already is a multiple stays.
void AlignRange(double& min, double& max, double step);

// Whether `format` formats one double safely: literal text, "%%" and exactly
// one floating conversion (flags, width and precision of at most two digits).
bool IsValueFormat(std::string_view format);

// A tick label: the value through the axis format, or through a date format
// when the axis holds dates (days since 30 December 1899, the fraction being
// the time of day). An unusable format falls back to "%5.1f".
std::string FormatTickValue(std::string_view format, double value, bool dateAxis);

inline constexpr double kPixelLimit = 1.0e6;

// A data-to-pixel result truncated toward zero, kept inside a range that any
// device can draw (far outside every window) so that wild values cannot
// overflow a coordinate.
inline std::int32_t TruncateToPixel(double value) {
    if (value > kPixelLimit) {
        return static_cast<std::int32_t>(kPixelLimit);
    }
    if (value < -kPixelLimit) {
        return static_cast<std::int32_t>(-kPixelLimit);
    }
    if (value != value) {  // not a number
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace orvik
