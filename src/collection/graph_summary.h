#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

class COrvikDoc;
class TraceRecord;

// What the trace graph writes beside the plot of the current trace.
struct GraphSummary {
    enum Label { Name, Time, Average, Extremes, Limits, Window, CriterionName, Verdict, Count };

    std::array<std::string, Count> Texts;
    std::uint32_t VerdictColour = 0;  // 0x00BBGGRR
};

inline constexpr std::uint32_t kVerdictPassColour = 0x37ff00;
inline constexpr std::uint32_t kVerdictFailColour = 0x0000ff;
inline constexpr std::uint32_t kLimitBandColour = 0x6464ff;
inline constexpr double kLimitBandTop = 1000.0;

GraphSummary SummariseTrace(const TraceRecord& trace);

// The impedance axis shows 0 to 200 ohms for averages above 85, else 0 to 100.
double ImpedanceAxisTop(double average);

// The time of a trace as the local date and time ("%c").
std::string FormatTraceTime(std::int64_t secondsSince1970);

// "Record a measurement for coupon: ..." while a script runs and has a next
// test; none otherwise.
std::optional<std::string> ScriptPromptText(const COrvikDoc& document);

}  // namespace orvik
