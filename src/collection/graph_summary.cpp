#include "collection/graph_summary.h"

#include <ctime>

#include "base/c_numbers.h"

#include "collection/orvik_doc.h"
#include "collection/reference_mask.h"
#include "criteria/criterion.h"
#include "script/script.h"

namespace orvik {

std::string FormatTraceTime(std::int64_t secondsSince1970) {
    const std::time_t time = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return {};
    }
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%c", &local);
    return std::string(buffer, length);
}

GraphSummary SummariseTrace(const TraceRecord& trace, LengthUnit unit) {
    const Criterion& criterion = trace.Criteria;
    TraceFigures figures;
    figures.Name = trace.Name;
    figures.Time = FormatTraceTime(trace.Time);
    figures.CriterionName = criterion.Name;
    figures.Average = trace.Average;
    figures.Maximum = trace.Maximum;
    figures.Minimum = trace.Minimum;
    figures.MaximumLimit = criterion.MaximumImpedance;
    figures.MinimumLimit = criterion.MinimumImpedance;
    figures.StartPosition = criterion.StartPosition;
    figures.EndPosition = criterion.EndPosition;
    figures.Passed = trace.Passed;
    GraphSummary summary = SummariseFigures(figures);
    summary.LongTexts = trace.OutsideReferenceMask || unit != LengthUnit::Inches;
    if (unit != LengthUnit::Inches) {
        const char* suffix = LengthUnitSuffix(unit);
        summary.Texts[GraphSummary::Window] = FormatC(
            "Max Pos: %.2lf %s  Min Pos: %.2lf %s", ToShownLength(criterion.EndPosition, unit),
            suffix, ToShownLength(criterion.StartPosition, unit), suffix);
    }
    if (trace.OutsideReferenceMask) {
        summary.Texts[GraphSummary::Verdict] += std::string(" - ") + kOutsideReferenceMaskText;
    }
    return summary;
}

namespace {

bool HoldsMeasurement(const COrvikDoc& document) {
    return document.CurrentKind != CurrentTraceKind::NoMeasurement &&
           document.CurrentKind != CurrentTraceKind::FailedTest;
}

}  // namespace

GraphSummary SummariseCurrentTrace(const COrvikDoc& document, LengthUnit unit) {
    if (HoldsMeasurement(document)) {
        return SummariseTrace(document.TraceTemplate, unit);
    }
    // The criterion's lines stay; the measurement's lines are left empty.
    const GraphSummary full = SummariseTrace(document.TraceTemplate, unit);
    GraphSummary summary;
    summary.Texts[GraphSummary::Name] =
        document.CurrentKind == CurrentTraceKind::FailedTest ? kFailedTestText : kNoMeasurementText;
    for (const GraphSummary::Label kept :
         {GraphSummary::Limits, GraphSummary::Window, GraphSummary::CriterionName}) {
        summary.Texts[kept] = full.Texts[kept];
    }
    summary.LongTexts = full.LongTexts;
    return summary;
}

double CurrentImpedanceAxisTop(const COrvikDoc& document) {
    return ImpedanceAxisTop(HoldsMeasurement(document) ? document.TraceTemplate.Average : 0.0);
}

TraceLimits LimitsOf(const TraceRecord& trace) {
    const Criterion& criterion = trace.Criteria;
    return {criterion.StartPosition, criterion.EndPosition, criterion.MinimumImpedance,
            criterion.MaximumImpedance};
}

std::optional<std::string> ScriptPromptText(const COrvikDoc& document,
                                            const Criterion* nextCriterion) {
    const Script* script = document.ActiveScript;
    const ScriptElement* element = document.ActiveElement;
    if (script == nullptr || element == nullptr) {
        return std::nullopt;
    }
    std::string text = "Record a measurement for coupon:\n " + script->Prefix +
                       script->CurrentSerial + "\n test #" + std::to_string(element->Position) +
                       " (" + element->Postfix + ")";
    if (nextCriterion != nullptr) {
        text += nextCriterion->IsDifferential() ? "\n on the differential cables"
                                                : "\n on the single-ended cable";
    }
    return text;
}

}  // namespace orvik
