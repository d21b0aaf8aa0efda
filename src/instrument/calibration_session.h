#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "instrument/calibration_arithmetic.h"
#include "instrument/calibration_set.h"
#include "instrument/instrument_station.h"

namespace orvik {

inline constexpr const char* kAirlineLengthCaption = "Length of Airline";
inline constexpr const char* kKnownImpedanceCaption = "Known Impedance";
inline constexpr const char* kCalibrationCaption = "Calibration";
inline constexpr const char* kIncompleteCalibrationRecordText =
    "The instrument did not deliver the whole record, so this measurement has no result.\n"
    "Measure the airline again.";
inline constexpr const char* kResetOnlyWhenCharacterizingText =
    "Reset is offered only on a characterisation station.";

// What the calibration's chart shows after a measurement: the impedance along
// the airline from the end of the cable, 0 to L inches, and the top of the
// impedance axis.
struct AirlineTrace {
    std::vector<double> Impedance;
    double Length = 0.0;
    double YMaximum = 100.0;
};

// What one Calibrate did: the impedance shown as measured, the constant now
// in force and the point the measurement went into.
struct CalibrateReport {
    double Measured = 0.0;
    double Constant = 0.0;
    CalibrationPoint Point;
};

// The Calibration dialog's operations without the dialog: Verify, Calibrate,
// the cable characterisation, Reset and Cancel, on the instrument station's
// calibration, which every following acquisition uses at once. The values in
// force at the start are kept so that Cancel can put all six back. The point
// list lives as long as the session.
//
// Every refusal is shown to the operator through the station's prompts (the
// acquisition shows its own) and returned as the failure.
class CalibrationSession {
  public:
    explicit CalibrationSession(InstrumentStation& station);

    MeasurementMode Mode() const { return mode_; }
    void SelectMode(MeasurementMode mode) { mode_ = mode; }
    bool CharacterizeMode() const { return station_.CharacterizeMode(); }
    // The top of the impedance axis for the selected mode: 100 single-ended,
    // 200 differential.
    double ModeYMaximum() const { return IsDifferential(mode_) ? 200.0 : 100.0; }
    // "%.2f %.2f": divisor and calibration constant of the selected mode.
    std::string CalibrationConstantText() const;

    // The mean impedance over the airline of `length` inches.
    Result<double> Verify(double length);
    // One calibration against an airline of `length` inches and `known`
    // ohms. A known impedance of 0 does nothing (no measurement): the result
    // is then empty.
    Result<std::optional<CalibrateReport>> Calibrate(double length, double known);
    // The "eoc" button: the cable characterisation of the selected mode.
    CharacterizationOutcome CharacterizeCable();
    // Both modes back to the factory divisors and constants; only on a
    // characterisation station.
    Status Reset();
    // Puts back the six values in force when the session began.
    void Cancel();

    const CalibrationPoints& Points() const { return points_; }
    // The chart's content after the latest Verify or Calibrate that measured.
    const std::optional<AirlineTrace>& LastTrace() const { return lastTrace_; }
    const CalibrationSet& AtStart() const { return atStart_; }
    InstrumentStation& Station() { return station_; }

  private:
    Result<SampleWindow> MeasureAirline(AirlineUse use, double length);
    Failure Refuse(Failure failure, const char* caption);

    InstrumentStation& station_;
    CalibrationSet atStart_;
    MeasurementMode mode_ = MeasurementMode::SingleEnded;
    CalibrationPoints points_;
    std::optional<AirlineTrace> lastTrace_;
};

}  // namespace orvik
