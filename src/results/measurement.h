#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/measurement_mode.h"
#include "criteria/criterion.h"

namespace orvik::results {

// The test station that recorded a measurement: its name (the host name
// unless the station is given another) and the machine it ran on.
struct StationIdentity {
    std::string Name;
    std::string Host;

    bool operator==(const StationIdentity&) const = default;
};

// The instrument as start-up read it: its USB serial number, its release
// number and who calibrated it last and when (the store's two texts).
struct InstrumentIdentity {
    std::string Serial;
    std::int32_t Release = 0;
    std::string CalibrationDate;
    std::string CalibrationOperator;

    bool operator==(const InstrumentIdentity&) const = default;
};

// The scripted run a measurement belongs to: the script's report header and
// when its first trace was taken.
struct ScriptRunInfo {
    std::string Script;  // the script's description
    std::string Customer;
    std::string Job;
    std::string StationId;
    std::string Operator;
    std::int64_t Started = 0;  // seconds since 1970-01-01 UTC

    bool operator==(const ScriptRunInfo&) const = default;
};

// An impedance profile as the results database keeps it: the impedances as
// 32-bit floats, and their positions as a first position and a step when
// they are evenly spaced (every acquired profile is), else one by one.
struct StoredProfile {
    std::vector<float> Impedance;
    double FirstPosition = 0.0;    // inches
    double Step = 0.0;             // inches between samples, when evenly spaced
    std::vector<float> Positions;  // only when not evenly spaced

    bool operator==(const StoredProfile&) const = default;
};

// One recorded trace with everything a quality engineer asks about it: who,
// where, with what, for which job and coupon, judged by which criterion, and
// where the operator filed it. Texts are UTF-8.
struct Measurement {
    std::string Uuid;  // made when the trace is recorded; the same trace always has the same
    std::optional<StationIdentity> Station;        // none for imported collections
    std::optional<InstrumentIdentity> Instrument;  // none when not known
    std::string Operator;
    std::optional<ScriptRunInfo> Run;   // none outside a scripted run
    std::optional<std::string> Coupon;  // the coupon's serial in a scripted run
    std::optional<std::string> Test;    // the script element's postfix in a scripted run
    std::int32_t ElementPosition = 0;
    std::string Name;
    std::int64_t Time = 0;  // seconds since 1970-01-01 UTC
    MeasurementMode Mode = MeasurementMode::SingleEnded;
    double Average = 0.0;  // not a number when the window held no sample
    double Deviation = 0.0;
    double Minimum = 0.0;
    double Maximum = 0.0;
    bool Passed = false;
    Criterion Judged;            // the criterion as used (its id means nothing outside its library)
    std::string CollectionFile;  // the .tdr it was filed in; empty while untitled
    std::int32_t CollectionItem = 0;  // its place in that collection's items, from 0
    std::optional<StoredProfile> Profile;

    bool operator==(const Measurement&) const = default;
};

// What the lot statistics read of a measurement, and no more: the test it
// belongs to, its average and verdict, the criterion's name, target and
// limits, and what names it to people (its coupon, its trace and the
// collection it was filed in). Reading these alone keeps the profile, the
// station, the instrument and the run's header out of a job's statistics.
struct MeasurementSummary {
    std::optional<std::string> Test;  // the script element's postfix
    std::int32_t ElementPosition = 0;
    std::int64_t Time = 0;  // seconds since 1970-01-01 UTC
    double Average = 0.0;   // not a number when the window held no sample
    bool Passed = false;
    std::string Criterion;  // its name as used
    double Target = 0.0;
    double Minimum = 0.0;  // the lower tolerance limit, ohms
    double Maximum = 0.0;  // the upper one
    std::optional<std::string> Coupon;
    std::string Name;
    std::string CollectionFile;

    bool operator==(const MeasurementSummary&) const = default;
};

MeasurementSummary SummaryOf(const Measurement& m);

// "single" or "differential", as the database and the command line spell it.
const char* ModeText(MeasurementMode mode);
std::optional<MeasurementMode> ModeFromText(const std::string& text);

}  // namespace orvik::results
