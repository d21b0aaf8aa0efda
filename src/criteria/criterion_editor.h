#pragma once

#include <optional>
#include <string>

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

CriterionFields FieldsOf(const Criterion& criterion);

// The first numeric field that does not hold a number, which the editor
// refuses with kNotANumberMessage and activates.
std::optional<CriterionField> FirstNonNumericField(const CriterionFields& fields);

// The editor's Save: reads the fields, computes the limits and checks the
// criterion. On success the criterion holds the edited values and the new
// limits; its id is untouched. On failure nothing changes and the message is
// the one the operator is shown (under kCriteriaValidationCaption for a
// failed check).
Status ApplyCriterionFields(const CriterionFields& fields, Criterion& criterion);

}  // namespace orvik
