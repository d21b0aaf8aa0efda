#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chart/trace_chart.h"

namespace orvik {

class COrvikDoc;
class TraceRecord;

// What the trace graph writes beside the plot of the current trace.
GraphSummary SummariseTrace(const TraceRecord& trace);
// The criterion's window and limits as the graph draws them.
TraceLimits LimitsOf(const TraceRecord& trace);

// The time of a trace as the local date and time ("%c").
std::string FormatTraceTime(std::int64_t secondsSince1970);

// "Record a measurement for coupon: ..." while a script runs and has a next
// test; none otherwise.
std::optional<std::string> ScriptPromptText(const COrvikDoc& document);

}  // namespace orvik
