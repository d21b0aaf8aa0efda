#pragma once

#include <cstdint>
#include <ctime>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/collection_item.h"
#include "criteria/criterion.h"

namespace orvik {

// Acquired profiles have one sample per 1/75 inch.
inline constexpr double kSamplesPerInch = 75.0;
inline constexpr int kProfileSampleCount = 750;
inline constexpr int kBlankSampleCount = 250;
inline constexpr double kBlankSampleSpacing = 0.04;  // inches

struct TraceSample {
    double Position;   // inches
    double Impedance;  // ohms

    bool operator==(const TraceSample&) const = default;
};
static_assert(sizeof(TraceSample) == 16, "samples are stored as two packed doubles");

// One measured impedance profile with the criterion it was judged against and
// the statistics of its window. Also serves as a collection's current trace.
class TraceRecord : public CollectionItem {
  public:
    TraceRecord() : CollectionItem(kTraceRecordType) {}
    // Samples read into this record come from `samples` (a loaded collection's arena).
    explicit TraceRecord(std::pmr::memory_resource* samples)
        : CollectionItem(kTraceRecordType), Samples(samples) {}
    TraceRecord(const TraceRecord& other);
    TraceRecord& operator=(const TraceRecord& other);

    // Copies everything but the element position (see CopyFrom).
    void CopyFrom(const TraceRecord& other);

    // Takes `values` as impedances at positions (firstIndex + i) / 75, stamps
    // the current time, clears the name and evaluates.
    void FillFromAcquisition(const Criterion* criteria, std::span<const double> values,
                             int firstIndex);

    // 250 zero samples 0.04 inch apart; not evaluated.
    void MakeBlank(const Criterion* criteria);

    // Recomputes the window statistics and the verdict. A window that holds
    // no sample fails, with maximum and minimum 0 and a NaN average; so does
    // a sample inside it that is no number.
    void Evaluate();

    void Serialize(Archive& archive) override;

    std::int32_t SampleCount() const { return static_cast<std::int32_t>(Samples.size()); }

    // Record version written by Serialize; older files hold version 1 or none.
    static constexpr std::int32_t kRecordVersion = 2;

    std::int64_t Time = 0;  // seconds since 1970-01-01 UTC, stored as 32 bits
    Criterion Criteria = Criterion();
    // A copy keeps its own memory resource: assigning samples never moves a
    // record's memory into another collection's arena.
    std::pmr::vector<TraceSample> Samples;
    bool Passed = false;
    std::string Name;
    std::int32_t ElementPosition = 0;
    double Average = 0.0;
    double Deviation = 0.0;
    double Maximum = 0.0;
    double Minimum = 0.0;
    // The last judgement found the curve outside its criterion's reference
    // mask, which failed it. Known only for traces judged in this run of the
    // program: a collection's file keeps the verdict, not its reasons.
    bool OutsideReferenceMask = false;

    // Overridable for tests and the virtual clock of the instrument station.
    static std::int64_t (*CurrentTime)();
};

}  // namespace orvik
