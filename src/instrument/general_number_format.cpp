#include "instrument/general_number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace orvik {
namespace {

constexpr int kDigits = 6;

// Powers of ten up to 1e22 are exact doubles.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;

std::size_t FormatSlowly(double value, char* out) {
    const auto result = std::to_chars(out, out + kGeneralNumberMaxLength, value,
                                      std::chars_format::general, kDigits);
    return static_cast<std::size_t>(result.ptr - out);
}

// |value| * 10^power rounded to an integer, or -1 when the scaled value lies
// so close to a rounding boundary that the one rounding error of the scaling
// could decide it (or the power is not exact).
std::int64_t ScaledDigits(double magnitude, int power) {
    if (power > kLargestExactPower || power < -kLargestExactPower) {
        return -1;
    }
    const double scaled =
        power >= 0 ? magnitude * kPowersOfTen[power] : magnitude / kPowersOfTen[-power];
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < 1e-7) {
        return -1;
    }
    return static_cast<std::int64_t>(whole) + (fraction > 0.5 ? 1 : 0);
}

// Writes the six digits of `digits` in fixed notation for decimal exponent
// `exponent` (-4 .. 5), trailing zeros and a bare point dropped.
char* WriteFixed(std::int64_t digits, int exponent, char* p) {
    char text[kDigits];
    for (int i = kDigits - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int significant = kDigits;
    while (significant > 0 && text[significant - 1] == '0') {
        --significant;
    }
    if (exponent < 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -exponent - 1; ++i) {
            *p++ = '0';
        }
        for (int i = 0; i < significant; ++i) {
            *p++ = text[i];
        }
        return p;
    }
    const int integerDigits = exponent + 1;
    for (int i = 0; i < integerDigits; ++i) {
        *p++ = text[i];
    }
    if (significant > integerDigits) {
        *p++ = '.';
        for (int i = integerDigits; i < significant; ++i) {
            *p++ = text[i];
        }
    }
    return p;
}

char* WriteExponential(std::int64_t digits, int exponent, char* p) {
    char text[kDigits];
    for (int i = kDigits - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int significant = kDigits;
    while (significant > 1 && text[significant - 1] == '0') {
        --significant;
    }
    *p++ = text[0];
    if (significant > 1) {
        *p++ = '.';
        for (int i = 1; i < significant; ++i) {
            *p++ = text[i];
        }
    }
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude >= 100) {
        *p++ = static_cast<char>('0' + magnitude / 100);
        magnitude %= 100;
    }
    *p++ = static_cast<char>('0' + magnitude / 10);
    *p++ = static_cast<char>('0' + magnitude % 10);
    return p;
}

}  // namespace

std::size_t FormatGeneral(double value, char* out) {
    if (!std::isfinite(value) || value == 0.0) {
        return FormatSlowly(value, out);
    }
    const double magnitude = std::fabs(value);
    int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
    std::int64_t digits = ScaledDigits(magnitude, kDigits - 1 - exponent);
    if (digits >= 0 && digits < 100000) {  // the logarithm came out one too high
        --exponent;
        digits = ScaledDigits(magnitude, kDigits - 1 - exponent);
    } else if (digits >= 1000000) {  // one too low, or rounding carried a digit
        ++exponent;
        digits = ScaledDigits(magnitude, kDigits - 1 - exponent);
    }
    if (digits < 100000 || digits >= 1000000) {
        return FormatSlowly(value, out);
    }
    char* p = out;
    if (value < 0) {
        *p++ = '-';
    }
    p = exponent >= -4 && exponent < kDigits ? WriteFixed(digits, exponent, p)
                                             : WriteExponential(digits, exponent, p);
    return static_cast<std::size_t>(p - out);
}

}  // namespace orvik
