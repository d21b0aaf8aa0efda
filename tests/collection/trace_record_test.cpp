#include "collection/trace_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/archive.h"
#include "test_bytes.h"

namespace orvik {
namespace {

using testing::ByteBuilder;

TraceRecord WithSamples(std::vector<TraceSample> samples) {
    TraceRecord trace;
    trace.Samples.assign(samples.begin(), samples.end());
    return trace;
}

TEST(TraceEvaluation, WindowAndLimitsAreInclusive) {
    // Default criterion: window 4..7 inches, limits 45..55 ohms.
    TraceRecord trace =
        WithSamples({{3.99, 100}, {4.0, 45.0}, {5.0, 50.0}, {7.0, 55.0}, {7.01, 0.0}});
    trace.Evaluate();
    EXPECT_TRUE(trace.Passed);
    EXPECT_DOUBLE_EQ(trace.Average, 50.0);
    EXPECT_DOUBLE_EQ(trace.Maximum, 55.0);
    EXPECT_DOUBLE_EQ(trace.Minimum, 45.0);
    EXPECT_DOUBLE_EQ(trace.Deviation, std::sqrt(50.0 / 3.0));  // population deviation
}

TEST(TraceEvaluation, OneSampleOutsideTheLimitsFails) {
    const double nothing = 0.0;
    for (double z : {44.999, 55.001, std::numeric_limits<double>::infinity(), nothing / nothing}) {
        TraceRecord trace = WithSamples({{4.5, 50}, {5.0, z}, {5.5, 50}});
        trace.Evaluate();
        EXPECT_FALSE(trace.Passed) << z;
    }
}

TEST(TraceEvaluation, MaximumStartsAtZero) {
    TraceRecord trace = WithSamples({{4, -3}, {5, -1}, {6, -2}});
    trace.Criteria.MinimumImpedance = -10;
    trace.Evaluate();
    EXPECT_EQ(trace.Maximum, 0.0);
    EXPECT_EQ(trace.Minimum, -3.0);
    EXPECT_TRUE(trace.Passed);
}

TEST(TraceEvaluation, EmptyWindowFailsWithNotANumber) {
    // A window beyond the trace's end: nothing was measured, nothing passes,
    // though every sample of the trace lies within the limits.
    std::vector<double> values(kProfileSampleCount, 50.0);
    TraceRecord trace;
    Criterion criterion;
    criterion.StartPosition = 9.99;
    criterion.EndPosition = 10.0;
    trace.FillFromAcquisition(&criterion, values, 0);
    EXPECT_FALSE(trace.Passed);
    EXPECT_EQ(trace.Maximum, 0.0);
    EXPECT_EQ(trace.Minimum, 0.0);
    EXPECT_TRUE(std::isnan(trace.Average));
    EXPECT_TRUE(std::isnan(trace.Deviation));
}

TEST(TraceEvaluation, InfiniteImpedanceDoesNotBreakTheStatistics) {
    TraceRecord trace = WithSamples({{5, 50}, {6, std::numeric_limits<double>::infinity()}});
    trace.Evaluate();
    EXPECT_FALSE(trace.Passed);
    EXPECT_TRUE(std::isinf(trace.Maximum));
    EXPECT_EQ(trace.Minimum, 50.0);
}

TEST(TraceFill, PlacesSamplesEverySeventyFifthOfAnInch) {
    std::int64_t (*savedClock)() = TraceRecord::CurrentTime;
    TraceRecord::CurrentTime = [] { return std::int64_t{1700000000}; };
    std::vector<double> values(kProfileSampleCount);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 40.0 + static_cast<double>(i) * 0.02;
    }
    TraceRecord trace;
    trace.Name = "old";
    Criterion criterion;
    criterion.Name = "chosen";
    trace.FillFromAcquisition(&criterion, values, 0);
    TraceRecord::CurrentTime = savedClock;

    ASSERT_EQ(trace.SampleCount(), 750);
    EXPECT_EQ(trace.Samples[1].Position, 1.0 / 75.0);
    EXPECT_EQ(trace.Samples[749].Position, 749.0 / 75.0);
    EXPECT_EQ(trace.Samples[749].Impedance, values[749]);
    EXPECT_EQ(trace.Time, 1700000000);
    EXPECT_TRUE(trace.Name.empty());
    EXPECT_EQ(trace.Criteria.Name, "chosen");
    // Positions 4..7 inches are indices 300..525: 40 + 0.02 * i runs 46..50.5.
    EXPECT_DOUBLE_EQ(trace.Minimum, 46.0);
    EXPECT_DOUBLE_EQ(trace.Maximum, 50.5);

    trace.FillFromAcquisition(nullptr, std::vector<double>(10, 1.0), 300);
    EXPECT_EQ(trace.Criteria.Name, "chosen") << "no criterion keeps the old one";
    EXPECT_EQ(trace.Samples[0].Position, 4.0);
}

TEST(TraceFill, BlankTraceHasTwoHundredFiftyZeros) {
    TraceRecord trace;
    trace.Average = 3;
    trace.MakeBlank(nullptr);
    ASSERT_EQ(trace.SampleCount(), 250);
    EXPECT_EQ(trace.Samples[249].Position, 249 * 0.04);
    EXPECT_EQ(trace.Samples[100].Impedance, 0.0);
    EXPECT_EQ(trace.Average, 3) << "a blank trace is not evaluated";
}

TEST(TraceCopy, CopiesAllButTheElementPosition) {
    TraceRecord source = WithSamples({{1, 2}, {3, 4}});
    source.Tag = 2;
    source.Name = "n";
    source.Time = 5;
    source.Criteria.Name = "c";
    source.Average = 1;
    source.Deviation = 2;
    source.Maximum = 3;
    source.Minimum = 4;
    source.Passed = true;
    source.ElementPosition = 3;
    TraceRecord copy;
    copy.ElementPosition = 9;
    copy.CopyFrom(source);
    EXPECT_EQ(copy.ElementPosition, 9);
    EXPECT_EQ(copy.Samples, source.Samples);
    EXPECT_NE(copy.Samples.data(), source.Samples.data());
    EXPECT_EQ(copy.Tag, 2);
    EXPECT_EQ(copy.Name, "n");
    EXPECT_EQ(copy.Criteria, source.Criteria);
    EXPECT_EQ(copy.Minimum, 4);
    EXPECT_TRUE(copy.Passed);
}

ByteBuilder RecordStatistics(ByteBuilder bytes, const std::string& name) {
    return bytes.Str(name).I32(1234).Double(50.5).Double(0.25).Double(51).Double(49);
}

TEST(TracePayload, StoresVersionTwoByteForByte) {
    TraceRecord trace = WithSamples({{0.0, 50.0}, {0.5, 51.0}});
    trace.Name = "";
    trace.Time = 1234;
    trace.Average = 50.5;
    trace.Deviation = 0.25;
    trace.Maximum = 51;
    trace.Minimum = 49;
    trace.Passed = true;
    trace.ElementPosition = 2;
    Archive out = Archive::ForStoring();
    trace.Serialize(out);
    const auto expected = RecordStatistics(ByteBuilder().I32(2), "")
                              .I32(1)
                              .I32(2)
                              .I32(2)
                              .Double(0.0)
                              .Double(50.0)
                              .Double(0.5)
                              .Double(51.0)
                              .DefaultCriterionPayload()
                              .Bytes();
    EXPECT_EQ(out.Bytes(), expected);
}

TEST(TracePayload, OldLayoutsHaveNoElementPosition) {
    const auto samples = ByteBuilder().I32(1).Double(4.0).Double(50.0).DefaultCriterionPayload();
    // Container before version 4: no record version either.
    auto old = RecordStatistics(ByteBuilder(), "old").I32(7).Append(samples.Bytes()).Bytes();
    Archive oldArchive = Archive::ForLoading(old);
    oldArchive.SetOldRecordLayout(true);
    TraceRecord fromOld;
    fromOld.ElementPosition = 5;
    fromOld.Serialize(oldArchive);
    EXPECT_EQ(oldArchive.Remaining(), 0u);
    EXPECT_EQ(fromOld.Name, "old");
    EXPECT_TRUE(fromOld.Passed) << "any nonzero verdict is a pass";
    EXPECT_EQ(fromOld.ElementPosition, 0);
    EXPECT_EQ(fromOld.SampleCount(), 1);

    // Record version 1 inside a version 4 container.
    auto v1 = RecordStatistics(ByteBuilder().I32(1), "v1").I32(0).Append(samples.Bytes()).Bytes();
    Archive v1Archive = Archive::ForLoading(v1);
    TraceRecord fromV1;
    fromV1.Serialize(v1Archive);
    EXPECT_EQ(v1Archive.Remaining(), 0u);
    EXPECT_FALSE(fromV1.Passed);
    EXPECT_EQ(fromV1.ElementPosition, 0);
}

TEST(TracePayload, RefusesImpossibleSampleCounts) {
    for (std::int32_t count : {-1, 2, 0x7FFFFFFF}) {
        const auto bytes = RecordStatistics(ByteBuilder().I32(2), "x")
                               .I32(1)
                               .I32(0)
                               .I32(count)
                               .Double(1)
                               .Double(2)
                               .DefaultCriterionPayload()
                               .Bytes();
        Archive archive = Archive::ForLoading(bytes);
        TraceRecord trace;
        EXPECT_THROW(trace.Serialize(archive), ArchiveError) << count;
    }
}

TEST(TracePayload, TimesAfter2038ReadBackAsSuch) {
    TraceRecord trace;
    trace.Time = 2200000000;  // 2039
    Archive out = Archive::ForStoring();
    trace.Serialize(out);
    Archive in = Archive::ForLoading(out.Bytes());
    TraceRecord back;
    back.Serialize(in);
    EXPECT_EQ(back.Time, 2200000000);
}

}  // namespace
}  // namespace orvik
