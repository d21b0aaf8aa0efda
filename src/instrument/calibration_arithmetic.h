#pragma once

#include <deque>
#include <span>
#include <string>

#include "base/failure.h"
#include "base/measurement_mode.h"

namespace orvik {

inline constexpr const char* kInvalidDataCaption = "Invalid data";
inline constexpr const char* kInvalidCalibrationTestText =
    "Invalid data in calibration test.  Please verify your hardware setup and try again.";
inline constexpr const char* kInvalidCoefficientText =
    "Calibration test results in invalid coeficient.  Please cancel this dialog, verify your "
    "hardware setup, and restart the calibration";

// Samples per inch along the airline, as along every trace.
inline constexpr int kCalibrationSamplesPerInch = 75;
// The airline length the dialog starts with, inches.
inline constexpr double kDefaultAirlineLength = 4.0;

// A run of sample indexes [Begin, End) of the acquisition arrays.
struct SampleWindow {
    int Begin = 0;
    int End = 0;

    int Length() const { return End > Begin ? End - Begin : 0; }
    bool Empty() const { return End <= Begin; }
    bool operator==(const SampleWindow&) const = default;
};

// Verify averages the airline from 110 samples past the end of the cable to
// 2.5 inches before its far end; Calibrate from one inch past the end of the
// cable to the far end. The trace shown covers the whole airline.
SampleWindow VerifyWindow(int endOfCable, double length);
SampleWindow CalibrateWindow(int endOfCable, double length);
SampleWindow AirlineTraceWindow(int endOfCable, double length);

// What an airline length is used for: each operation needs its own window
// to hold at least one sample.
enum class AirlineUse { Verify, Calibrate };

// The airline lengths, in inches, for which the operation's window holds at
// least one sample and every window stays inside the processed part of the
// record (`processedSamples` from the start of the arrays).
struct LengthRange {
    double Minimum = 0.0;
    double Maximum = 0.0;
};
LengthRange AllowedAirlineLengths(AirlineUse use, int endOfCable, int processedSamples);

// A length outside the allowed range, or not a number, is refused with a
// message naming the range; nothing may be computed from it.
Status CheckAirlineLength(AirlineUse use, double length, int endOfCable, int processedSamples);
// The impedances a calibration may be made against, ohms: a known impedance
// of an airline, and the impedance measured along it.
inline constexpr double kLowestKnownImpedance = 1.0;
inline constexpr double kHighestKnownImpedance = 1000.0;

// A known impedance must lie from 1 to 1000 ohms, or be 0 ("nothing to
// calibrate against"); the refusal names the range.
Status CheckKnownImpedance(double ohms);

// The mean of `values` over the window (which must not be empty and must lie
// inside `values`).
double WindowMean(std::span<const double> values, SampleWindow window);

// One known impedance measured while the calibration is open: the running
// means of its measurements.
struct CalibrationPoint {
    int Count = 0;
    double MeanLevel = 0.0;         // raw level units
    double ConstantEstimate = 0.0;  // ohms
    double KnownImpedance = 0.0;    // ohms
    MeasurementMode Mode = MeasurementMode::SingleEnded;
};

// The points measured, newest known impedance first.
class CalibrationPoints {
  public:
    // A measurement of `known` ohms in `mode`: averaged into the point of the
    // same impedance and mode, or a new point at the head of the list.
    const CalibrationPoint& Add(double known, MeasurementMode mode, double level, double estimate);

    const std::deque<CalibrationPoint>& All() const { return points_; }
    // How many points hold measurements in `mode`.
    int CountIn(MeasurementMode mode) const;
    void Clear() { points_.clear(); }

  private:
    std::deque<CalibrationPoint> points_;
};

// The divisor (level of a matched load) that two points of known impedance
// imply under the conversion impedance = constant x level / (2 x divisor - level).
double PairDivisor(const CalibrationPoint& first, const CalibrationPoint& second);
// The mean pair divisor over every pair of points of `mode`, in list order.
double MeanPairDivisor(const CalibrationPoints& points, MeasurementMode mode);
// The constant each point of `mode` implies with `divisor`, averaged.
double MeanPointConstant(const CalibrationPoints& points, MeasurementMode mode, double divisor);
// The mean of the constant estimates of the points of `mode`.
double MeanConstantEstimate(const CalibrationPoints& points, MeasurementMode mode);
// |constant x (1 + rho) / (1 - rho)| with rho = level / divisor - 1: the
// conversion of one level.
double ConvertedImpedance(double constant, double level, double divisor);

// One Calibrate's measurement over its window.
struct CalibrateMeasurement {
    double MeasuredImpedance = 0.0;  // Zm, ohms
    double MeanLevel = 0.0;          // Lm
};

// The values in force before a Calibrate, and after it.
struct ModeCalibration {
    double Divisor = 0.0;
    double Constant = 0.0;
};

// What one Calibrate computed: the new values of the mode and the impedance
// shown as measured. `DivisorDerived` is set when the divisor came from
// point pairs; it may come with a refused constant, and a caller puts it in
// force only together with an accepted one.
struct CalibrateStep {
    ModeCalibration Values;
    double Displayed = 0.0;
    bool DivisorDerived = false;
    Failure Refusal;  // the "Invalid data" message when Refused
    bool Refused = false;
};

// The arithmetic of one Calibrate with known impedance `known` (not 0): the
// point is added to `points`, and the new divisor and constant follow. On a
// characterisation station the divisor comes from two or more points and the
// constant must be plausible (10 to 400 ohms); elsewhere only the constant
// changes. The impedance shown is the point's mean level converted with the
// new divisor and constant.
// On every station a measured impedance outside 1 to 1000 ohms is refused
// ("Invalid data") before a point is made, and so is a constant that is not
// a finite number above 0.
CalibrateStep ComputeCalibrateStep(CalibrationPoints& points, MeasurementMode mode, double known,
                                   const CalibrateMeasurement& measured, ModeCalibration current,
                                   bool characterizeMode);

}  // namespace orvik
