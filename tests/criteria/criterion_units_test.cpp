#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "base/c_numbers.h"
#include "criteria/criterion_editor.h"

namespace orvik {
namespace {

TEST(CriterionEditorUnits, MillimetresBecomeTheNearestInches) {
    struct Case {
        const char* typed;
        LengthUnit unit;
        std::optional<double> inches;
    };
    const Case cases[] = {
        {"177.8", LengthUnit::Millimetres, 7.0},  // 177.8 / 25.4 in doubles is not 7
        {"101.6", LengthUnit::Millimetres, 4.0},
        {" 254 ", LengthUnit::Millimetres, 10.0},
        {"25.40", LengthUnit::Millimetres, 1.0},
        {"-25.4", LengthUnit::Millimetres, -1.0},
        {"0", LengthUnit::Millimetres, 0.0},
        {"2.54e1", LengthUnit::Millimetres, 1.0},  // an exponent takes the ordinary way
        {"177.8", LengthUnit::Inches, 177.8},
        {"7", LengthUnit::Inches, 7.0},
        {"7 mm", LengthUnit::Millimetres, std::nullopt},
        {"", LengthUnit::Millimetres, std::nullopt},
        {"1,5", LengthUnit::Millimetres, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InchesFromTypedLength(c.typed, c.unit), c.inches) << c.typed;
    }
}

// Whole tenths of an inch typed in hundredths of a millimetre land on the
// same double as the tenths typed in inches; and any millimetre text reads
// as typed when the editor shows it again.
RC_GTEST_PROP(CriterionEditorUnits, TypedMillimetresAreExactInches, ()) {
    const int tenths = *rc::gen::inRange(-2000, 2000);
    const std::string millimetres = FormatC("%.2f", tenths * 2.54);
    const std::string inches = FormatC("%.1f", tenths / 10.0);
    RC_ASSERT(InchesFromTypedLength(millimetres, LengthUnit::Millimetres) ==
              ParseEditorNumber(inches));

    const long hundredths = *rc::gen::inRange(-1000000L, 1000000L);
    const std::string typed = FormatC("%.2f", hundredths / 100.0);
    Criterion criterion;
    criterion.EndPosition = *InchesFromTypedLength(typed, LengthUnit::Millimetres);
    RC_ASSERT(FieldsOf(criterion, LengthUnit::Millimetres).EndPosition ==
              FormatEditorNumber(*ParseEditorNumber(typed)));
}

TEST(CriterionEditorUnits, AFieldLeftAsShownKeepsItsStoredValue) {
    Criterion criterion;
    criterion.StartPosition = 3.123456789012345678;
    criterion.EndPosition = 6.5;
    CriterionFields fields = FieldsOf(criterion, LengthUnit::Millimetres);
    EXPECT_EQ(fields.EndPosition, "165.1");
    fields.EndPosition = "177.8";
    ASSERT_TRUE(ApplyCriterionFields(fields, criterion, LengthUnit::Millimetres).Ok());
    EXPECT_EQ(criterion.StartPosition, 3.123456789012345678);
    EXPECT_EQ(criterion.EndPosition, 7.0);
    // The checks judge inches: 260 mm is beyond the 10-inch trace.
    fields = FieldsOf(criterion, LengthUnit::Millimetres);
    fields.EndPosition = "260";
    EXPECT_FALSE(ApplyCriterionFields(fields, criterion, LengthUnit::Millimetres).Ok());
    EXPECT_EQ(criterion.EndPosition, 7.0);
}

TEST(CriterionEditorUnits, CouponWindowIsThirtyToSeventyPercent) {
    struct Case {
        double length;
        std::optional<double> start;
        double end;
    };
    const Case cases[] = {
        {10.0, 3.0, 7.0},      // inches
        {254.0, 76.2, 177.8},  // the same coupon in millimetres
        {6.0, 1.8, 4.2},           {0.0, std::nullopt, 0.0},
        {-5.0, std::nullopt, 0.0}, {std::numeric_limits<double>::infinity(), std::nullopt, 0.0},
    };
    for (const Case& c : cases) {
        const std::optional<TestWindow> window = WindowForCouponLength(c.length);
        ASSERT_EQ(window.has_value(), c.start.has_value()) << c.length;
        if (window) {
            // The same doubles as the decimals typed: 6 * 0.3 would be 1.7999999999999998.
            EXPECT_EQ(window->Start, *c.start) << c.length;
            EXPECT_EQ(window->End, c.end) << c.length;
        }
    }
}

}  // namespace
}  // namespace orvik
