#pragma once

#include <optional>
#include <string>

#include "base/display_units.h"
#include "base/failure.h"
#include "criteria/criterion.h"

namespace orvik {

inline constexpr const char* kCriterionEditorTitle = "Criteria Editor";
inline constexpr const char* kCriteriaValidationCaption = "Criteria Validation";
inline constexpr const char* kNotANumberMessage = "Please enter a number.";

// The editor's text fields, in the order the dialog shows them.
enum class CriterionField { Name, TargetImpedance, AllowableError, StartPosition, EndPosition };

// What the Criteria Editor shows: every value as the operator types it.
struct CriterionFields {
    std::string Name;
    std::string TargetImpedance;
    std::string AllowableError;
    std::string StartPosition;
    std::string EndPosition;
    bool DoubleEnded = false;

    std::string& Text(CriterionField field);
    const std::string& Text(CriterionField field) const;
};

// Numbers in the editor: the shortest form with up to 15 significant digits,
// with a decimal point whatever the desktop's locale.
std::string FormatEditorNumber(double value);
// A finite decimal number, blanks around it allowed; anything else (empty,
// trailing text, hexadecimal, infinity, not-a-number) is not a number.
std::optional<double> ParseEditorNumber(const std::string& text);

// The fields of a criterion, its positions in the operator's unit.
CriterionFields FieldsOf(const Criterion& criterion, LengthUnit unit = LengthUnit::Inches);

// A position typed in `unit`, in inches. A length in millimetres becomes the
// double nearest its exact value in inches, so that 177.8 mm is 7 inches to
// the last bit, as a window's end must be for the sample at 7 inches to
// count. None when the text is no number.
std::optional<double> InchesFromTypedLength(const std::string& text, LengthUnit unit);

// The test window for a coupon of the given length (IPC-TM-650 2.5.5.7):
// from 30 % to 70 % of it, in the same unit. None for a length that is no
// positive number.
struct TestWindow {
    double Start;
    double End;
};
std::optional<TestWindow> WindowForCouponLength(double length);

// The first numeric field that does not hold a number, which the editor
// refuses with kNotANumberMessage and activates.
std::optional<CriterionField> FirstNonNumericField(const CriterionFields& fields);

// The editor's Save: reads the fields, computes the limits and checks the
// criterion. On success the criterion holds the edited values and the new
// limits; its id is untouched. On failure nothing changes and the message is
// the one the operator is shown (under kCriteriaValidationCaption for a
// failed check).
// Positions are typed in `unit`; one whose text the operator left as shown
// keeps its stored value exactly.
Status ApplyCriterionFields(const CriterionFields& fields, Criterion& criterion,
                            LengthUnit unit = LengthUnit::Inches);

}  // namespace orvik
