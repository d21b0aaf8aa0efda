#include "collection/trace_record.h"

#include <cmath>

#include "base/archive.h"

namespace orvik {
namespace {

std::int64_t SystemTime() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

std::int64_t (*TraceRecord::CurrentTime)() = &SystemTime;

TraceRecord::TraceRecord(const TraceRecord& other) : CollectionItem(other) {
    CopyFrom(other);
    ElementPosition = other.ElementPosition;
}

TraceRecord& TraceRecord::operator=(const TraceRecord& other) {
    if (this != &other) {
        CopyFrom(other);
        ElementPosition = other.ElementPosition;
    }
    return *this;
}

void TraceRecord::CopyFrom(const TraceRecord& other) {
    if (this == &other) {
        return;
    }
    TypeCode = other.TypeCode;
    Tag = other.Tag;
    Name = other.Name;
    Time = other.Time;
    Criteria = other.Criteria;
    Average = other.Average;
    Deviation = other.Deviation;
    Maximum = other.Maximum;
    Minimum = other.Minimum;
    Passed = other.Passed;
    OutsideReferenceMask = other.OutsideReferenceMask;
    Samples = other.Samples;
}

void TraceRecord::FillFromAcquisition(const Criterion* criteria, std::span<const double> values,
                                      int firstIndex) {
    if (criteria) {
        Criteria = *criteria;
    }
    Samples.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        Samples[i] = {static_cast<double>(firstIndex + static_cast<int>(i)) / kSamplesPerInch,
                      values[i]};
    }
    Time = CurrentTime();
    Name.clear();
    Evaluate();
}

void TraceRecord::MakeBlank(const Criterion* criteria) {
    if (criteria) {
        Criteria = *criteria;
    }
    Samples.resize(kBlankSampleCount);
    for (int i = 0; i < kBlankSampleCount; ++i) {
        Samples[i] = {i * kBlankSampleSpacing, 0.0};
    }
    Time = CurrentTime();
    Name.clear();
}

void TraceRecord::Evaluate() {
    const double start = Criteria.StartPosition;
    const double end = Criteria.EndPosition;
    const double lowLimit = Criteria.MinimumImpedance;
    const double highLimit = Criteria.MaximumImpedance;

    double maximum = 0.0;  // the running maximum starts at 0, not at the first sample
    double minimum = 0.0;
    double sum = 0.0;
    bool passed = true;
    std::size_t count = 0;
    for (const TraceSample& sample : Samples) {
        if (!(sample.Position >= start && sample.Position <= end)) {
            continue;
        }
        const double z = sample.Impedance;
        // A sample exactly on a limit passes; one that is no number fails.
        if (!(z >= lowLimit && z <= highLimit)) {
            passed = false;
        }
        if (z > maximum) {
            maximum = z;
        }
        if (count == 0 || z < minimum) {
            minimum = z;
        }
        sum += z;
        ++count;
    }
    // With an empty window this is 0 / 0: NaN, as the stored statistics show.
    const double average = sum / static_cast<double>(count);
    double squares = 0.0;
    for (const TraceSample& sample : Samples) {
        if (sample.Position >= start && sample.Position <= end) {
            const double d = sample.Impedance - average;
            squares += d * d;
        }
    }
    Average = average;
    Deviation = std::sqrt(squares / static_cast<double>(count));
    Maximum = maximum;
    Minimum = minimum;
    // Nothing measured inside the window is no reason to pass: a criterion
    // whose window lies beyond the trace would otherwise pass every coupon.
    Passed = passed && count > 0;
    OutsideReferenceMask = false;  // judged against the limits only; the mask comes after
}

void TraceRecord::Serialize(Archive& archive) {
    std::int32_t version = kRecordVersion;
    if (archive.IsStoring()) {
        archive.WriteInt32(kRecordVersion);
    } else {
        version = archive.OldRecordLayout() ? 1 : archive.ReadInt32();
    }
    archive.String(Name);

    if (archive.IsStoring()) {
        archive.WriteInt32(static_cast<std::int32_t>(static_cast<std::uint32_t>(Time)));
    } else {
        // Unsigned, so that times after 2038 read back as such; a measurement
        // is never older than 1970.
        Time = static_cast<std::uint32_t>(archive.ReadInt32());
    }
    archive.Double(Average);
    archive.Double(Deviation);
    archive.Double(Maximum);
    archive.Double(Minimum);

    std::int32_t passed = Passed ? 1 : 0;
    archive.Int32(passed);
    Passed = passed != 0;

    if (archive.IsStoring() || version > 1) {
        archive.Int32(ElementPosition);
    } else {
        ElementPosition = 0;
    }

    std::int32_t count = SampleCount();
    archive.Int32(count);
    if (archive.IsStoring()) {
        archive.WriteRaw(Samples.data(), Samples.size() * sizeof(TraceSample));
    } else {
        if (count < 0) {
            throw ArchiveError(ArchiveError::Kind::BadFormat, "negative sample count");
        }
        const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(TraceSample);
        archive.RequireRemaining(bytes, "trace samples");
        Samples.resize(static_cast<std::size_t>(count));
        archive.ReadRaw(Samples.data(), bytes);
    }
    Criteria.Serialize(archive);
}

}  // namespace orvik
