#pragma once

#include <span>

namespace orvik {

class COrvikDoc;

// What one acquisition gives Run Test: the 750 impedance values from the
// mode's end of cable. When the instrument could not be reached the values
// are those of the previous acquisition, the operator has been told, and
// live mode must stop.
struct MeasuredProfile {
    std::span<const double> Impedance;
    bool StopLiveMode = false;
};

// The instrument as the operating flow sees it.
class ProfileInstrument {
  public:
    virtual ~ProfileInstrument() = default;
    virtual MeasuredProfile MeasureProfile(bool differential) = 0;
};

// The main window as the operating flow sees it.
class StationHost {
  public:
    virtual ~StationHost() = default;
    // The collection of the active window, or none.
    virtual COrvikDoc* ActiveDocument() = 0;
    // Queues "apply the selected criterion" behind the events already waiting.
    virtual void PostApplySelectedCriterion() = 0;
};

}  // namespace orvik
