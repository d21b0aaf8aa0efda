#pragma once

#include <cstdint>
#include <string>

#include "base/measurement_mode.h"

namespace orvik {

class Archive;

// A named pass/fail rule for an impedance profile. Referred to by Id
// everywhere (script elements, selector, reports), never by name.
class Criterion {
  public:
    std::int32_t Id = 0;
    std::string Name = "Unnamed Criteria";
    double TargetImpedance = 50.0;   // ohms
    double AllowableError = 10.0;    // percent, plus or minus
    double MinimumImpedance = 45.0;  // ohms; stored, recomputed only by whoever edits the target
    double MaximumImpedance = 55.0;  // ohms
    double StartPosition = 4.0;      // inches
    double EndPosition = 7.0;        // inches
    std::int32_t DoubleEnded = 0;    // 1 = differential measurement

    bool IsDifferential() const { return DoubleEnded != 0; }
    MeasurementMode Mode() const { return ModeFromDifferential(IsDifferential()); }

    // Sets both limits from the target and the allowable error.
    void RecomputeLimits();

    // The payload has no version of its own; the doubles are stored in the
    // order target, error, maximum, minimum, end, start.
    void Serialize(Archive& archive);

    bool operator==(const Criterion&) const = default;
};

}  // namespace orvik
