#include "collection/graph_summary.h"

#include <cstdio>
#include <ctime>

#include "collection/orvik_doc.h"
#include "script/script.h"

namespace orvik {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

}  // namespace

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

GraphSummary SummariseTrace(const TraceRecord& trace) {
    const Criterion& criterion = trace.Criteria;
    GraphSummary summary;
    summary.Texts[GraphSummary::Name] = trace.Name;
    summary.Texts[GraphSummary::Time] = FormatTraceTime(trace.Time);
    summary.Texts[GraphSummary::Average] = Format("Avg: %.2lf", trace.Average);
    summary.Texts[GraphSummary::Extremes] =
        Format("Max: %.2lf  Min: %.2lf", trace.Maximum, trace.Minimum);
    summary.Texts[GraphSummary::Limits] =
        Format("Max Limit: %.2lf  Min Limit: %.2lf", criterion.MaximumImpedance,
               criterion.MinimumImpedance);
    // The window is shown end first.
    summary.Texts[GraphSummary::Window] =
        Format("Max Pos: %.2lf  Min Pos: %.2lf", criterion.EndPosition, criterion.StartPosition);
    summary.Texts[GraphSummary::CriterionName] = "Criteria: " + criterion.Name;
    summary.Texts[GraphSummary::Verdict] =
        Format("%.2lf - %s", trace.Average, trace.Passed ? "PASS" : "FAIL");
    summary.VerdictColour = trace.Passed ? kVerdictPassColour : kVerdictFailColour;
    return summary;
}

double ImpedanceAxisTop(double average) {
    return average > 85.0 ? 200.0 : 100.0;
}

std::optional<std::string> ScriptPromptText(const COrvikDoc& document) {
    const Script* script = document.ActiveScript;
    const ScriptElement* element = document.ActiveElement;
    if (script == nullptr || element == nullptr) {
        return std::nullopt;
    }
    return "Record a measurement for coupon:\n " + script->Prefix + script->CurrentSerial +
           "\n test #" + std::to_string(element->Position) + " (" + element->Postfix + ")";
}

}  // namespace orvik
