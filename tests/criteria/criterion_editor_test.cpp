#include "criteria/criterion_editor.h"

#include <gtest/gtest.h>

#include "comma_locale.h"

namespace orvik {
namespace {

CriterionFields Fields(const char* target, const char* error, const char* start, const char* end) {
    CriterionFields fields = FieldsOf(Criterion());
    fields.TargetImpedance = target;
    fields.AllowableError = error;
    fields.StartPosition = start;
    fields.EndPosition = end;
    return fields;
}

std::string Refusal(const CriterionFields& fields) {
    Criterion criterion;
    Status applied = ApplyCriterionFields(fields, criterion);
    if (applied) {
        return "";
    }
    EXPECT_EQ(criterion, Criterion()) << "a refused edit must leave the criterion alone";
    return applied.Error().Message;
}

TEST(CriterionEditorNumbers, ShortestFormUpToFifteenDigits) {
    EXPECT_EQ(FormatEditorNumber(50.0), "50");
    EXPECT_EQ(FormatEditorNumber(0.1), "0.1");
    EXPECT_EQ(FormatEditorNumber(2.0 / 3.0), "0.666666666666667");
    EXPECT_EQ(FormatEditorNumber(-4.25), "-4.25");
}

TEST(CriterionEditorNumbers, ReadsDecimalsOnly) {
    EXPECT_EQ(ParseEditorNumber(" 7.5 "), 7.5);
    EXPECT_EQ(ParseEditorNumber("-1e1"), -10.0);
    for (const char* text : {"", " ", "abc", "7,5", "7.5x", "0x10", "inf", "nan", "1e999"}) {
        EXPECT_FALSE(ParseEditorNumber(text)) << text;
    }
}

TEST(CriterionEditorNumbers, IgnoreADecimalCommaDesktop) {
    testing::CommaLocale comma;
    if (!comma.Active()) {
        GTEST_SKIP() << comma.Reason();
    }
    EXPECT_EQ(FormatEditorNumber(4.5), "4.5");
    EXPECT_EQ(ParseEditorNumber("4.5"), 4.5);
    EXPECT_FALSE(ParseEditorNumber("4,5"));
}

TEST(CriterionEditor, ShowsTheCriterion) {
    Criterion criterion;
    criterion.Name = "Stripline";
    criterion.TargetImpedance = 42.5;
    criterion.DoubleEnded = 1;
    CriterionFields fields = FieldsOf(criterion);
    EXPECT_EQ(fields.Name, "Stripline");
    EXPECT_EQ(fields.TargetImpedance, "42.5");
    EXPECT_EQ(fields.AllowableError, "10");
    EXPECT_EQ(fields.StartPosition, "4");
    EXPECT_EQ(fields.EndPosition, "7");
    EXPECT_TRUE(fields.DoubleEnded);
}

TEST(CriterionEditor, NonNumberIsRefusedAtItsField) {
    CriterionFields fields = Fields("50", "ten", "4", "x");
    EXPECT_EQ(FirstNonNumericField(fields), CriterionField::AllowableError);
    EXPECT_EQ(Refusal(fields), kNotANumberMessage);
    fields.AllowableError = "10";
    EXPECT_EQ(FirstNonNumericField(fields), CriterionField::EndPosition);
    fields.EndPosition = "7";
    EXPECT_FALSE(FirstNonNumericField(fields));
}

TEST(CriterionEditor, ChecksInOrderWithTheirMessages) {
    // start after end is reported before the equally bad limits and range
    EXPECT_EQ(Refusal(Fields("250", "0", "7", "4")),
              "Start Position must be less than End Position");
    EXPECT_EQ(Refusal(Fields("50", "0", "4", "7")),
              "Minimum Impedance must be less than Maximum Impedance");
    EXPECT_EQ(Refusal(Fields("190", "10", "4", "12")), "End Position must be less than 10.0");
    EXPECT_EQ(Refusal(Fields("190", "10", "4", "7")), "Maximum Impedance must be less than 200.0");
    EXPECT_EQ(Refusal(Fields("50", "10", "-1", "7")), "Start Position must be greater than zero");
    EXPECT_EQ(Refusal(Fields("50", "110", "4", "7")), "Minimum Impedance must be at least 0.0");
    // a negative error swaps the limits, which the second check catches
    EXPECT_EQ(Refusal(Fields("50", "-10", "4", "7")),
              "Minimum Impedance must be less than Maximum Impedance");
}

TEST(CriterionEditor, BoundsPassAndLimitsAreComputed) {
    Criterion criterion;
    criterion.Id = 17;
    CriterionFields fields = Fields("50", "10", "0", "10");
    fields.Name = "Edge";
    fields.DoubleEnded = true;
    ASSERT_TRUE(ApplyCriterionFields(fields, criterion));
    EXPECT_EQ(criterion.Id, 17);
    EXPECT_EQ(criterion.Name, "Edge");
    EXPECT_EQ(criterion.StartPosition, 0.0);
    EXPECT_EQ(criterion.EndPosition, 10.0);
    EXPECT_EQ(criterion.DoubleEnded, 1);
    EXPECT_DOUBLE_EQ(criterion.MinimumImpedance, 45.0);
    EXPECT_DOUBLE_EQ(criterion.MaximumImpedance, 55.0);

    ASSERT_TRUE(ApplyCriterionFields(Fields("100", "100", "1", "2"), criterion));
    EXPECT_EQ(criterion.MinimumImpedance, 0.0);
    EXPECT_EQ(criterion.MaximumImpedance, 200.0);
}

}  // namespace
}  // namespace orvik
