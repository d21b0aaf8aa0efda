#include "collection/reference_mask.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cmath>
#include <limits>

#include "base/archive.h"
#include "collection/graph_summary.h"
#include "collection/trace_record.h"

namespace orvik {
namespace {

Criterion WindowCriterion(std::int32_t id, double start, double end) {
    Criterion criterion;
    criterion.Id = id;
    criterion.StartPosition = start;
    criterion.EndPosition = end;
    criterion.MinimumImpedance = -1e9;  // limits out of the way: only the mask judges
    criterion.MaximumImpedance = 1e9;
    return criterion;
}

// A golden sample from a measured profile of 750 values.
CriterionReference ReferenceOf(const std::vector<double>& values, std::int32_t id,
                               ToleranceUnit unit, double tolerance) {
    TraceRecord golden;
    const Criterion criterion = WindowCriterion(id, 0.0, 10.0);
    golden.FillFromAcquisition(&criterion, values, 0);
    return ReferenceFromTrace(golden, unit, tolerance);
}

// A curve that wanders inside the mask everywhere, then one sample of it
// pushed just past an edge: inside the window that fails the trace, outside
// it nothing changes.
RC_GTEST_PROP(ReferenceMask, OneSampleBeyondTheToleranceInsideTheWindowFails, ()) {
    std::vector<double> golden(kProfileSampleCount);
    double z = *rc::gen::inRange(20, 120);
    for (double& value : golden) {
        z += *rc::gen::inRange(-100, 101) / 200.0;
        value = z;
    }
    const auto unit = *rc::gen::element(ToleranceUnit::Ohms, ToleranceUnit::Percent);
    const double tolerance = *rc::gen::inRange(1, 200) / 20.0;
    const CriterionReference reference = ReferenceOf(golden, 7, unit, tolerance);
    const auto allowance = [&](double value) {
        return unit == ToleranceUnit::Percent ? std::fabs(value) * tolerance / 100.0 : tolerance;
    };

    std::vector<double> measured(golden.size());
    for (std::size_t i = 0; i < golden.size(); ++i) {
        const double share = *rc::gen::inRange(-99, 100) / 100.0;
        measured[i] = golden[i] + share * allowance(golden[i]);
    }
    const int first = *rc::gen::inRange(0, 700);
    const int last = *rc::gen::inRange(first, 750);
    const Criterion criterion = WindowCriterion(7, first / 75.0, last / 75.0);
    TraceRecord trace;
    trace.FillFromAcquisition(&criterion, measured, 0);
    RC_ASSERT(!LeavesReferenceMask(reference, trace.Samples, first / 75.0, last / 75.0));

    const bool insideWindow = *rc::gen::arbitrary<bool>();
    int moved = 0;
    if (insideWindow) {
        moved = *rc::gen::inRange(first, last + 1);
    } else {
        RC_PRE(first > 0 || last < kProfileSampleCount - 1);
        moved = first > 0 ? *rc::gen::inRange(0, first)
                          : *rc::gen::inRange(last + 1, kProfileSampleCount);
    }
    const double sign = *rc::gen::element(-1.0, 1.0);
    const auto index = static_cast<std::size_t>(moved);
    measured[index] = golden[index] + sign * (allowance(golden[index]) * 1.01 + 1e-6);
    trace.FillFromAcquisition(&criterion, measured, 0);
    const bool windowHoldsIt = moved >= first && moved <= last;
    RC_ASSERT(LeavesReferenceMask(reference, trace.Samples, first / 75.0, last / 75.0) ==
              windowHoldsIt);
    JudgeAgainstReference(trace, [&] {
        ReferenceSet set;
        set.Set(reference);
        return set;
    }());
    RC_ASSERT(trace.Passed == !windowHoldsIt);
    RC_ASSERT(trace.OutsideReferenceMask == windowHoldsIt);
}

TEST(ReferenceMask, EdgesAndWindowEndsAreInsideNoNumberIsOutside) {
    const CriterionReference reference =
        ReferenceOf(std::vector<double>(750, 50.0), 1, ToleranceUnit::Ohms, 2.0);
    struct Case {
        double position;
        double impedance;
        bool leaves;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {5.0, 52.0, false},    // on the upper edge
        {5.0, 48.0, false},    // on the lower edge
        {5.0, 52.0001, true},  // just above
        {4.0, 47.9, true},     // at the window's start
        {7.0, 52.1, true},     // at the window's end
        {3.99, 80.0, false},   // before the window
        {7.01, 20.0, false},   // after it
        {5.0, nan, true},      // no number
        {nan, 20.0, false},    // no position: in no window
        {9.99, 80.0, false},   // beyond the reference and the window
    };
    for (const Case& c : cases) {
        const TraceSample samples[] = {{c.position, c.impedance}};
        EXPECT_EQ(LeavesReferenceMask(reference, samples, 4.0, 7.0), c.leaves)
            << c.position << " " << c.impedance;
    }
}

TEST(ReferenceMask, TheVerdictFailsOnlyForItsOwnCriterionAndIsNotFiled) {
    ReferenceSet references;
    references.Set(ReferenceOf(std::vector<double>(750, 50.0), 1, ToleranceUnit::Percent, 2.0));
    std::vector<double> measured(750, 50.0);
    measured[400] = 53.0;  // 6 % high at 5.33 inches, within the limits of 45 to 55
    Criterion criterion;
    criterion.Id = 1;
    TraceRecord trace;
    trace.FillFromAcquisition(&criterion, measured, 0);
    ASSERT_TRUE(trace.Passed);
    JudgeAgainstReference(trace, references);
    EXPECT_FALSE(trace.Passed);
    EXPECT_TRUE(trace.OutsideReferenceMask);
    EXPECT_EQ(SummariseTrace(trace).Texts[GraphSummary::Verdict],
              "50.01 - FAIL - outside reference mask");
    EXPECT_TRUE(SummariseTrace(trace).LongTexts);

    TraceRecord recorded;
    recorded.CopyFrom(trace);
    EXPECT_TRUE(recorded.OutsideReferenceMask);
    // The file keeps the FAIL, as for any other failure, and nothing more.
    Archive out = Archive::ForStoring();
    recorded.Serialize(out);
    TraceRecord loaded;
    Archive in = Archive::ForLoading(out.Bytes());
    loaded.Serialize(in);
    EXPECT_FALSE(loaded.Passed);
    EXPECT_FALSE(loaded.OutsideReferenceMask);
    EXPECT_EQ(SummariseTrace(loaded).Texts[GraphSummary::Verdict], "50.01 - FAIL");

    // Judged again against the limits alone, the mask's verdict goes.
    trace.Evaluate();
    EXPECT_TRUE(trace.Passed);
    EXPECT_FALSE(trace.OutsideReferenceMask);

    criterion.Id = 2;
    TraceRecord other;
    other.FillFromAcquisition(&criterion, measured, 0);
    JudgeAgainstReference(other, references);
    EXPECT_TRUE(other.Passed);
}

TEST(ReferenceMask, OutlineCoversTheWindowWhereTheReferenceReaches) {
    const CriterionReference reference =
        ReferenceOf(std::vector<double>(750, 50.0), 1, ToleranceUnit::Ohms, 1.0);
    const MaskOutline outline = OutlineOfMask(reference, 4.0, 7.0);
    ASSERT_EQ(outline.Lower.size(), outline.Upper.size());
    ASSERT_EQ(outline.Lower.size(), 226u);  // 300/75 .. 525/75, ends included once
    EXPECT_EQ(outline.Lower.front().Position, 4.0);
    EXPECT_EQ(outline.Upper.back().Position, 7.0);
    EXPECT_EQ(outline.Lower[10].Impedance, 49.0);
    EXPECT_EQ(outline.Upper[10].Impedance, 51.0);
    EXPECT_TRUE(OutlineOfMask(reference, 10.5, 12.0).Lower.empty());
    EXPECT_EQ(OutlineOfMask(reference, 9.9, 12.0).Lower.back().Position, 749 / 75.0);
}

}  // namespace
}  // namespace orvik
