#include "instrument/general_number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace orvik {
namespace {

constexpr int kDigits = 6;

// Powers of ten from 1e-22 to 1e22 (the positive ones are exact doubles; the
// negative ones are within half an ulp).
constexpr int kLargestPower = 22;
constexpr double kPowersOfTen[] = {1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14,
                                   1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,
                                   1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,
                                   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,
                                   1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22};

std::size_t FormatSlowly(double value, char* out) {
    const auto result = std::to_chars(out, out + kGeneralNumberMaxLength, value,
                                      std::chars_format::general, kDigits);
    return static_cast<std::size_t>(result.ptr - out);
}

// |value| * 10^power rounded to an integer, or -1 when the scaled value lies
// so close to a rounding boundary that the two rounding errors of the scaling
// (a few parts in 1e16 of a value below 1e7) could decide it, or when the
// power is outside the table.
std::int64_t ScaledDigits(double magnitude, int power) {
    if (power > kLargestPower || power < -kLargestPower) {
        return -1;
    }
    const double scaled = magnitude * kPowersOfTen[power + kLargestPower];
    if (!(scaled < 1e15)) {
        return -1;
    }
    const auto whole = static_cast<std::int64_t>(scaled);  // scaled is positive
    const double fraction = scaled - static_cast<double>(whole);
    if (std::fabs(fraction - 0.5) < 1e-7) {
        return -1;
    }
    return whole + (fraction > 0.5 ? 1 : 0);
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
    if (value == 0.0) {
        char* p = out;
        if (std::signbit(value)) {
            *p++ = '-';
        }
        *p++ = '0';
        return static_cast<std::size_t>(p - out);
    }
    if (!std::isfinite(value)) {
        return FormatSlowly(value, out);
    }
    const double magnitude = std::fabs(value);
    // Decimal exponent from the binary one; it may be one off either way,
    // which the digit count below corrects.
    int binaryExponent = 0;
    std::frexp(magnitude, &binaryExponent);
    // (78913 / 2^18 is log10(2) to within 2e-7; the shift rounds down.)
    int exponent = ((binaryExponent - 1) * 78913) >> 18;
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
