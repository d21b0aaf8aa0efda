#include "criteria/criterion_editor.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "base/c_numbers.h"

namespace orvik {

namespace {

constexpr std::array kNumericFields = {CriterionField::TargetImpedance,
                                       CriterionField::AllowableError,
                                       CriterionField::StartPosition, CriterionField::EndPosition};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool HasOnlyDecimalCharacters(const std::string& text) {
    for (char c : text) {
        bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' ||
                       c == 'E' || IsBlank(c);
        if (!allowed) {
            return false;
        }
    }
    return true;
}

struct EditedValues {
    double Target, Error, Start, End, Minimum, Maximum;
};

// The checks in the order the operator meets them; the first failing one is
// reported. The bounds themselves pass.
const char* FirstFailedCheck(const EditedValues& v) {
    const std::pair<bool, const char*> checks[] = {
        {v.End > v.Start, "Start Position must be less than End Position"},
        {v.Maximum > v.Minimum, "Minimum Impedance must be less than Maximum Impedance"},
        {v.End <= 10.0, "End Position must be less than 10.0"},
        {v.Maximum <= 200.0, "Maximum Impedance must be less than 200.0"},
        {v.Start >= 0.0, "Start Position must be greater than zero"},
        {v.Minimum >= 0.0, "Minimum Impedance must be at least 0.0"},
    };
    for (const auto& [passed, message] : checks) {
        if (!passed) {
            return message;
        }
    }
    return nullptr;
}

}  // namespace

std::string& CriterionFields::Text(CriterionField field) {
    return const_cast<std::string&>(std::as_const(*this).Text(field));
}

const std::string& CriterionFields::Text(CriterionField field) const {
    switch (field) {
        case CriterionField::TargetImpedance:
            return TargetImpedance;
        case CriterionField::AllowableError:
            return AllowableError;
        case CriterionField::StartPosition:
            return StartPosition;
        case CriterionField::EndPosition:
            return EndPosition;
        case CriterionField::Name:
            break;
    }
    return Name;
}

std::string FormatEditorNumber(double value) {
    return FormatC("%.15g", value);
}

std::optional<double> ParseEditorNumber(const std::string& text) {
    if (!HasOnlyDecimalCharacters(text)) {
        return std::nullopt;
    }
    char* end = nullptr;
    double value = ParseC(text.c_str(), &end);
    if (end == text.c_str()) {
        return std::nullopt;
    }
    while (IsBlank(*end)) {
        ++end;
    }
    if (*end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

CriterionFields FieldsOf(const Criterion& criterion) {
    return {criterion.Name,
            FormatEditorNumber(criterion.TargetImpedance),
            FormatEditorNumber(criterion.AllowableError),
            FormatEditorNumber(criterion.StartPosition),
            FormatEditorNumber(criterion.EndPosition),
            criterion.IsDifferential()};
}

std::optional<CriterionField> FirstNonNumericField(const CriterionFields& fields) {
    for (CriterionField field : kNumericFields) {
        if (!ParseEditorNumber(fields.Text(field))) {
            return field;
        }
    }
    return std::nullopt;
}

Status ApplyCriterionFields(const CriterionFields& fields, Criterion& criterion) {
    if (FirstNonNumericField(fields)) {
        return Failure{kNotANumberMessage, ""};
    }
    EditedValues v{};
    v.Target = *ParseEditorNumber(fields.TargetImpedance);
    v.Error = *ParseEditorNumber(fields.AllowableError);
    v.Start = *ParseEditorNumber(fields.StartPosition);
    v.End = *ParseEditorNumber(fields.EndPosition);
    double e = v.Target * v.Error * 0.01;
    v.Minimum = v.Target - e;
    v.Maximum = v.Target + e;
    if (const char* message = FirstFailedCheck(v)) {
        return Failure{message, ""};
    }
    criterion.Name = fields.Name;
    criterion.TargetImpedance = v.Target;
    criterion.AllowableError = v.Error;
    criterion.StartPosition = v.Start;
    criterion.EndPosition = v.End;
    criterion.DoubleEnded = fields.DoubleEnded ? 1 : 0;
    criterion.MinimumImpedance = v.Minimum;
    criterion.MaximumImpedance = v.Maximum;
    return {};
}

}  // namespace orvik
