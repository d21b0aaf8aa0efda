#include "instrument/general_number_format.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace orvik {
namespace {

std::string Fast(double value) {
    char text[kGeneralNumberMaxLength];
    return std::string(text, FormatGeneral(value, text));
}

std::string Printf(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

TEST(FormatGeneral, MatchesPrintfOnTheCasesThatDecideTheForm) {
    const double cases[] = {0.0,      -0.0,      1.0,      -1.0,       0.5,
                            123456.0, 1234567.0, 999999.0, 999999.5,   999999.4,
                            9.999995, 9.9999949, 0.0001,   0.00009999, 0.000099999999,
                            1e-5,     1e6,       1e15,     1e22,       1e23,
                            1e300,    5e-324,    2.5,      0.125,      12277.0,
                            -12000.0, 51.87,     108.2,    1.04919,    1e-310,
                            100000.0, 0.1,       0.3,      2.675,      1.5e-7,
                            -32768.0};
    for (double value : cases) {
        EXPECT_EQ(Fast(value), Printf(value)) << "value " << Printf(value);
    }
    EXPECT_EQ(Fast(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(Fast(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(Fast(std::numeric_limits<double>::quiet_NaN()), Printf(NAN));
}

TEST(FormatGeneral, MatchesPrintfOnRandomValuesOfEveryMagnitude) {
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    for (int i = 0; i < 200000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        ASSERT_EQ(Fast(value), Printf(value)) << "value " << value;
    }
}

TEST(FormatGeneral, MatchesPrintfOnValuesNearRoundingBoundaries) {
    // Six-digit numbers that lie at or next to a half in the seventh digit.
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int> digits(100000, 999999);
    std::uniform_int_distribution<int> exponent(-8, 8);
    for (int i = 0; i < 50000; ++i) {
        const double base = (digits(random) + 0.5) * std::pow(10.0, exponent(random));
        for (double value : {base, std::nextafter(base, 0.0), std::nextafter(base, 1e300)}) {
            ASSERT_EQ(Fast(value), Printf(value)) << "value " << value;
        }
    }
}

}  // namespace
}  // namespace orvik
