#include "base/display_units.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cmath>

namespace orvik {
namespace {

// A position typed in millimetres and shown again reads as typed, and every
// position of a 10-inch profile survives the trip through millimetres.
RC_GTEST_PROP(DisplayUnits, MillimetresRoundTrip, ()) {
    const double sample = *rc::gen::inRange(0, 751);
    const double inches = sample / 75.0;
    const double mm = ToShownLength(inches, LengthUnit::Millimetres);
    RC_ASSERT(std::abs(FromShownLength(mm, LengthUnit::Millimetres) - inches) <= 1e-15 * 10);
    const double typed = *rc::gen::inRange(0, 254001) / 1000.0;
    RC_ASSERT(std::abs(ToShownLength(FromShownLength(typed, LengthUnit::Millimetres),
                                     LengthUnit::Millimetres) -
                       typed) <= 1e-12);
}

TEST(DisplayUnits, KnownLengthsAndDelays) {
    EXPECT_DOUBLE_EQ(ToShownLength(10.0, LengthUnit::Millimetres), 254.0);
    EXPECT_DOUBLE_EQ(ToShownLength(10.0, LengthUnit::Inches), 10.0);
    // Light in vacuum covers one inch in 84.7253 ps (0.0254 m / 299792458 m/s);
    // on FR-4 at half that speed a 10-inch coupon takes 1.6945 ns one way.
    DisplayUnits units;
    EXPECT_FALSE(DelayPicoseconds(1.0, units));
    units.VelocityFactor = 1.0;
    EXPECT_NEAR(*DelayPicoseconds(1.0, units), 84.72528, 1e-4);
    units.VelocityFactor = 0.5;
    EXPECT_NEAR(*DelayPicoseconds(10.0, units), 1694.5056, 1e-3);
    units.VelocityFactor = 0.0;
    EXPECT_FALSE(DelayPicoseconds(1.0, units));
}

TEST(DisplayUnits, VelocityFactorTexts) {
    struct Case {
        const char* text;
        bool valid;
        std::optional<double> factor;
    };
    const Case cases[] = {
        {"", true, std::nullopt},
        {"  ", true, std::nullopt},
        {"0.5", true, 0.5},
        {" 0.66 ", true, 0.66},
        {"1", true, 1.0},
        {"0", false, std::nullopt},
        {"1.01", false, std::nullopt},
        {"-0.5", false, std::nullopt},
        {"0,5", false, std::nullopt},
        {"nan", false, std::nullopt},
        {"0.5x", false, std::nullopt},
    };
    for (const Case& c : cases) {
        bool valid = !c.valid;
        EXPECT_EQ(ParseVelocityFactor(c.text, &valid), c.factor) << '"' << c.text << '"';
        EXPECT_EQ(valid, c.valid) << '"' << c.text << '"';
    }
    EXPECT_EQ(VelocityFactorText(0.66), "0.66");
    EXPECT_EQ(VelocityFactorText(std::nullopt), "");
}

}  // namespace
}  // namespace orvik
