#include "collection/reference_mask.h"

#include "chart/mask_outline.h"
#include "collection/trace_record.h"

namespace orvik {

bool LeavesReferenceMask(const CriterionReference& reference, std::span<const TraceSample> samples,
                         double start, double end) {
    for (const TraceSample& sample : samples) {
        if (!(sample.Position >= start && sample.Position <= end)) {
            continue;
        }
        const std::optional<MaskEdges> mask = MaskAt(reference, sample.Position);
        if (mask && !(sample.Impedance >= mask->Low && sample.Impedance <= mask->High)) {
            return true;
        }
    }
    return false;
}

void JudgeAgainstReference(TraceRecord& trace, const ReferenceSet& references) {
    const CriterionReference* reference = references.Find(trace.Criteria.Id);
    if (reference == nullptr) {
        return;
    }
    if (LeavesReferenceMask(*reference, trace.Samples, trace.Criteria.StartPosition,
                            trace.Criteria.EndPosition)) {
        trace.OutsideReferenceMask = true;
        trace.Passed = false;
    }
}

CriterionReference ReferenceFromTrace(const TraceRecord& trace, ToleranceUnit unit,
                                      double tolerance) {
    CriterionReference reference;
    reference.CriterionId = trace.Criteria.Id;
    reference.TraceName = trace.Name;
    reference.Time = trace.Time;
    reference.Unit = unit;
    reference.Tolerance = tolerance;
    reference.Points.reserve(trace.Samples.size());
    for (const TraceSample& sample : trace.Samples) {
        reference.Points.push_back({sample.Position, sample.Impedance});
    }
    return reference;
}

MaskOutline OutlineOfMask(const CriterionReference& reference, double start, double end) {
    MaskOutline outline;
    const auto add = [&](double position) {
        if (const std::optional<MaskEdges> mask = MaskAt(reference, position)) {
            outline.Lower.push_back({position, mask->Low});
            outline.Upper.push_back({position, mask->High});
        }
    };
    add(start);
    for (const ReferencePoint& point : reference.Points) {
        if (point.Position > start && point.Position < end) {
            add(point.Position);
        }
    }
    if (end > start) {
        add(end);
    }
    return outline;
}

namespace {

std::vector<CurvePoint> CurveOf(const std::vector<ReferencePoint>& points) {
    std::vector<CurvePoint> curve;
    curve.reserve(points.size());
    for (const ReferencePoint& point : points) {
        curve.push_back({point.Position, point.Impedance});
    }
    return curve;
}

}  // namespace

void ShowReferenceMask(CXGraph& chart, const TraceRecord& trace, const ReferenceSet& references,
                       bool highContrast) {
    MaskOutline outline;
    if (const CriterionReference* reference = references.Find(trace.Criteria.Id)) {
        outline =
            OutlineOfMask(*reference, trace.Criteria.StartPosition, trace.Criteria.EndPosition);
    }
    ShowMaskOutline(chart, CurveOf(outline.Lower), CurveOf(outline.Upper), highContrast);
}

}  // namespace orvik
