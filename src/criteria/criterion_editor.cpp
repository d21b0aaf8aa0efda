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

CriterionFields FieldsOf(const Criterion& criterion, LengthUnit unit) {
    return {criterion.Name,
            FormatEditorNumber(criterion.TargetImpedance),
            FormatEditorNumber(criterion.AllowableError),
            FormatEditorNumber(ToShownLength(criterion.StartPosition, unit)),
            FormatEditorNumber(ToShownLength(criterion.EndPosition, unit)),
            criterion.IsDifferential()};
}

namespace {

// A decimal text as an integer and a power of ten (text = mantissa x 10^-scale),
// when both are small enough for doubles to hold exactly.
struct ExactDecimal {
    std::int64_t Mantissa;
    int Scale;
};

std::optional<ExactDecimal> AsExactDecimal(const std::string& text) {
    constexpr std::int64_t kExactLimit = std::int64_t{1} << 53;
    std::size_t i = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    if (i == std::string::npos) {
        return std::nullopt;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t mantissa = 0;
    int scale = 0;
    bool point = false;
    for (; i <= last; ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + (c - '0');
            scale += point ? 1 : 0;
            if (mantissa >= kExactLimit / 10 || scale > 12) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;  // exponents and the like take the ordinary way
        }
    }
    return ExactDecimal{negative ? -mantissa : mantissa, scale};
}

}  // namespace

std::optional<double> InchesFromTypedLength(const std::string& text, LengthUnit unit) {
    const std::optional<double> shown = ParseEditorNumber(text);
    if (!shown || unit == LengthUnit::Inches) {
        return shown;
    }
    // mm / 25.4 = (mantissa x 10) / (254 x 10^scale): one division of two
    // exact integers rounds once, to the nearest double.
    if (const std::optional<ExactDecimal> exact = AsExactDecimal(text)) {
        double denominator = 254.0;
        for (int k = 0; k < exact->Scale; ++k) {
            denominator *= 10.0;
        }
        return static_cast<double>(exact->Mantissa) * 10.0 / denominator;
    }
    return FromShownLength(*shown, unit);
}

std::optional<TestWindow> WindowForCouponLength(double length) {
    if (!std::isfinite(length) || length <= 0.0) {
        return std::nullopt;
    }
    // Tenths, not 0.3 and 0.7, which doubles do not hold: 10 inches give a
    // window of exactly 3 to 7.
    return TestWindow{length * 3.0 / 10.0, length * 7.0 / 10.0};
}

std::optional<CriterionField> FirstNonNumericField(const CriterionFields& fields) {
    for (CriterionField field : kNumericFields) {
        if (!ParseEditorNumber(fields.Text(field))) {
            return field;
        }
    }
    return std::nullopt;
}

Status ApplyCriterionFields(const CriterionFields& fields, Criterion& criterion, LengthUnit unit) {
    if (FirstNonNumericField(fields)) {
        return Failure{kNotANumberMessage, ""};
    }
    const CriterionFields shown = FieldsOf(criterion, unit);
    const auto position = [&](const std::string& typed, const std::string& before, double stored) {
        return typed == before ? stored : *InchesFromTypedLength(typed, unit);
    };
    EditedValues v{};
    v.Target = *ParseEditorNumber(fields.TargetImpedance);
    v.Error = *ParseEditorNumber(fields.AllowableError);
    v.Start = position(fields.StartPosition, shown.StartPosition, criterion.StartPosition);
    v.End = position(fields.EndPosition, shown.EndPosition, criterion.EndPosition);
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
