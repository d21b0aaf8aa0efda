#include "instrument/calibration_session.h"

#include <cmath>

#include "base/c_numbers.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "instrument";

// Above this impedance halfway along the airline the chart shows 0-200 ohms.
constexpr double kHighImpedanceOhms = 85.0;
constexpr double kMidpointSamplesPerInch = 38.0;

// What the operator was told when the acquisition could not use the
// instrument, as one line.
Failure AcquisitionFailure(const AcquisitionOutcome& outcome) {
    if (outcome.usbError) {
        return Failure{*outcome.usbError, "calibration acquisition"};
    }
    if (outcome.instrumentNotReady) {
        return Failure{"The instrument is not ready.", "calibration acquisition"};
    }
    return Failure{kDeviceNotFoundText, "calibration acquisition"};
}

}  // namespace

CalibrationSession::CalibrationSession(InstrumentStation& station)
    : station_(station), atStart_(station.Calibration()) {}

std::string CalibrationSession::CalibrationConstantText() const {
    const CalibrationSet& calibration = station_.Calibration();
    return FormatC("%.2f %.2f", calibration.Divisor(mode_), calibration.CalibrationConstant(mode_));
}

Failure CalibrationSession::Refuse(Failure failure, const char* caption) {
    station_.Log().Warning(kLogSource,
                           "Calibration refused: " + failure.Message + " (" + failure.Detail + ")");
    station_.Prompts().Message(failure.Message, caption, PromptIcon::Warning);
    return failure;
}

Result<SampleWindow> CalibrationSession::MeasureAirline(AirlineUse use, double length) {
    const int endOfCable = station_.Calibration().EndOfCable(mode_);
    if (Status checked = CheckAirlineLength(use, length, endOfCable, kProcessedSampleCount);
        !checked) {
        return Refuse(checked.Error(), kAirlineLengthCaption);
    }
    const AcquisitionOutcome outcome = station_.Acquire(mode_, Derivative::Smoothed);
    if (!outcome.processed) {
        // The operator has been told; the arrays hold no record of this
        // airline, and a calibration computed from them would be no
        // measurement at all.
        return AcquisitionFailure(outcome);
    }
    if (!outcome.WholeRecord()) {
        return Refuse(Failure{kIncompleteCalibrationRecordText,
                              FormatC("%d samples received", outcome.samplesReceived)},
                      kCalibrationCaption);
    }
    // The end of cable may have been refused and limited at start-up, but it
    // is the one this acquisition used.
    const std::vector<double>& impedance = station_.Buffers().Impedance;
    const SampleWindow shown = AirlineTraceWindow(endOfCable, length);
    AirlineTrace trace;
    trace.Impedance.assign(impedance.begin() + shown.Begin, impedance.begin() + shown.End);
    trace.Length = length;
    const auto midpoint =
        static_cast<std::size_t>(std::trunc(length * kMidpointSamplesPerInch + endOfCable));
    trace.YMaximum = impedance[midpoint] > kHighImpedanceOhms ? 200.0 : 100.0;
    lastTrace_ = std::move(trace);
    return use == AirlineUse::Verify ? VerifyWindow(endOfCable, length)
                                     : CalibrateWindow(endOfCable, length);
}

Result<double> CalibrationSession::Verify(double length) {
    const Result<SampleWindow> window = MeasureAirline(AirlineUse::Verify, length);
    if (!window) {
        return window.Error();
    }
    const double measured = WindowMean(station_.Buffers().Impedance, *window);
    station_.Log().Info(kLogSource,
                        FormatC("Verify %s, %g in: %.4f ohms", ModeName(mode_), length, measured));
    return measured;
}

Result<std::optional<CalibrateReport>> CalibrationSession::Calibrate(double length, double known) {
    if (Status checked = CheckKnownImpedance(known); !checked) {
        return Refuse(checked.Error(), kKnownImpedanceCaption);
    }
    if (known == 0.0) {
        return std::optional<CalibrateReport>();
    }
    const Result<SampleWindow> window = MeasureAirline(AirlineUse::Calibrate, length);
    if (!window) {
        return window.Error();
    }
    const AcquisitionBuffers& buffers = station_.Buffers();
    const CalibrateMeasurement measured{WindowMean(buffers.Impedance, *window),
                                        WindowMean(buffers.Level, *window)};
    CalibrationSet& calibration = station_.Calibration();
    const ModeCalibration current{calibration.Divisor(mode_),
                                  calibration.CalibrationConstant(mode_)};
    const CalibrateStep step =
        ComputeCalibrateStep(points_, mode_, known, measured, current, CharacterizeMode());
    if (step.Refused) {
        // Nothing of a refused step is put in force, a divisor derived on the
        // way included: every later measurement would read wrong with it.
        return Refuse(step.Refusal, kInvalidDataCaption);
    }
    if (step.DivisorDerived) {
        calibration.SetDivisor(mode_, step.Values.Divisor);
    }
    calibration.SetCalibrationConstant(mode_, step.Values.Constant);
    station_.Log().Info(
        kLogSource,
        FormatC("Calibrate %s against %g ohms, %g in: measured %.4f ohms at level %.2f; divisor "
                "%.2f, constant %.4f",
                ModeName(mode_), known, length, measured.MeasuredImpedance, measured.MeanLevel,
                step.Values.Divisor, step.Values.Constant));
    CalibrateReport report{step.Displayed, step.Values.Constant, {}};
    for (const CalibrationPoint& point : points_.All()) {
        if (point.KnownImpedance == known && point.Mode == mode_) {
            report.Point = point;
        }
    }
    return std::optional<CalibrateReport>(report);
}

CharacterizationOutcome CalibrationSession::CharacterizeCable() {
    return station_.CharacterizeCable(mode_);
}

Status CalibrationSession::Reset() {
    if (!CharacterizeMode()) {
        return Failure{kResetOnlyWhenCharacterizingText, ""};
    }
    station_.Calibration().ResetToFactory();
    return {};
}

void CalibrationSession::Cancel() {
    CalibrationSet& calibration = station_.Calibration();
    for (MeasurementMode mode : {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        calibration.SetValues(mode, atStart_.Values(mode));
    }
}

}  // namespace orvik
