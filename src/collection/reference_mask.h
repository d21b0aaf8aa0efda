#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "criteria/criterion_reference.h"

namespace orvik {

class CXGraph;
class TraceRecord;
struct TraceSample;

// The verdict's addition when a curve leaves its reference mask.
inline constexpr const char* kOutsideReferenceMaskText = "outside reference mask";

// True when a sample inside the window [start, end] (both ends included)
// lies outside the mask: below its lower or above its upper edge, or no
// number. A sample exactly on an edge is inside; where the reference has no
// points the mask says nothing.
bool LeavesReferenceMask(const CriterionReference& reference, std::span<const TraceSample> samples,
                         double start, double end);

// Judges a trace, already judged against its limits, against the reference
// of its criterion, if that has one: a curve that leaves the mask fails.
void JudgeAgainstReference(TraceRecord& trace, const ReferenceSet& references);

// The reference a stored trace makes for its own criterion, with the given
// tolerance; its problem (ReferenceProblem) tells whether it can be used.
CriterionReference ReferenceFromTrace(const TraceRecord& trace, ToleranceUnit unit,
                                      double tolerance);

// The mask's edges over the window, one point per reference point inside it
// and one at each end of the window, for drawing; empty where the window and
// the reference do not meet.
struct MaskOutline {
    std::vector<ReferencePoint> Lower;
    std::vector<ReferencePoint> Upper;
};
MaskOutline OutlineOfMask(const CriterionReference& reference, double start, double end);

// Draws on a trace chart the mask of the trace's criterion over its window,
// or none when the criterion has no reference.
void ShowReferenceMask(CXGraph& chart, const TraceRecord& trace, const ReferenceSet& references,
                       bool highContrast);

}  // namespace orvik
