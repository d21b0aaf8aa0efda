#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/display_units.h"
#include "chart/trace_chart.h"

namespace orvik {

class COrvikDoc;
class Criterion;
class TraceRecord;

// What the trace graph writes beside the plot of the current trace.
// Positions read in `unit`; in inches the texts are the graph's usual ones.
GraphSummary SummariseTrace(const TraceRecord& trace, LengthUnit unit = LengthUnit::Inches);

// What the graph says about a collection's current trace. Without a
// measurement (none yet, or the last test failed) it shows no statistics and
// no verdict: the name line says why, and the criterion lines stay.
GraphSummary SummariseCurrentTrace(const COrvikDoc& document, LengthUnit unit = LengthUnit::Inches);
inline constexpr const char* kNoMeasurementText = "No measurement";
inline constexpr const char* kFailedTestText = "The last test failed - no measurement";

// The top of the impedance axis for a collection's current trace.
double CurrentImpedanceAxisTop(const COrvikDoc& document);
// The criterion's window and limits as the graph draws them.
TraceLimits LimitsOf(const TraceRecord& trace);

// The time of a trace as the local date and time ("%c").
std::string FormatTraceTime(std::int64_t secondsSince1970);

// "Record a measurement for coupon: ..." while a script runs and has a next
// test; none otherwise. With the next test's criterion known, a last line
// names the cable it is measured on, so that the coupon goes on the right one.
std::optional<std::string> ScriptPromptText(const COrvikDoc& document,
                                            const Criterion* nextCriterion = nullptr);

}  // namespace orvik
