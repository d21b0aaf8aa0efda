#include "instrument/calibration_arithmetic.h"

#include <algorithm>
#include <cmath>

#include "base/c_numbers.h"

namespace orvik {
namespace {

// Truncation towards zero as the window arithmetic has it, kept inside int
// for lengths far beyond any array (those are refused by the length check).
int TruncatedIndex(double index) {
    return static_cast<int>(std::trunc(std::clamp(index, -1.0e9, 1.0e9)));
}

constexpr double kVerifyStartOffset = 110.0;
constexpr double kVerifyEndMargin = 2.5;  // inches before the airline's far end
constexpr int kCalibrateStartOffset = 75;

}  // namespace

SampleWindow VerifyWindow(int endOfCable, double length) {
    const int begin = endOfCable + static_cast<int>(kVerifyStartOffset);
    return {begin, TruncatedIndex(endOfCable + kVerifyStartOffset +
                                  (length - kVerifyEndMargin) * kCalibrationSamplesPerInch)};
}

SampleWindow CalibrateWindow(int endOfCable, double length) {
    return {endOfCable + kCalibrateStartOffset,
            TruncatedIndex(length * kCalibrationSamplesPerInch + endOfCable)};
}

SampleWindow AirlineTraceWindow(int endOfCable, double length) {
    return {endOfCable, endOfCable + TruncatedIndex(length * kCalibrationSamplesPerInch)};
}

LengthRange AllowedAirlineLengths(AirlineUse use, int endOfCable, int processedSamples) {
    // The shortest length whose window holds one sample: one sample past the
    // window's start.
    const double perInch = kCalibrationSamplesPerInch;
    const double minimum = use == AirlineUse::Verify ? kVerifyEndMargin + 1.0 / perInch
                                                     : (kCalibrateStartOffset + 1.0) / perInch;
    return {minimum, (processedSamples - endOfCable) / perInch};
}

Status CheckAirlineLength(AirlineUse use, double length, int endOfCable, int processedSamples) {
    // Not a number (or no end) is refused before any window is worked out:
    // it has no sample index.
    if (std::isfinite(length)) {
        const SampleWindow window = use == AirlineUse::Verify ? VerifyWindow(endOfCable, length)
                                                              : CalibrateWindow(endOfCable, length);
        const SampleWindow trace = AirlineTraceWindow(endOfCable, length);
        if (!window.Empty() && window.End <= processedSamples && trace.End <= processedSamples) {
            return {};
        }
    }
    const LengthRange range = AllowedAirlineLengths(use, endOfCable, processedSamples);
    // Rounded inwards, so that both printed limits are themselves allowed.
    const double low = std::ceil(range.Minimum * 100.0) / 100.0;
    const double high = std::floor(range.Maximum * 100.0) / 100.0;
    return Failure{FormatC("The length of the airline must be from %.2f to %.2f inches for %s.",
                           low, high, use == AirlineUse::Verify ? "Verify" : "Calibrate"),
                   FormatC("length %g in, end of cable %d", length, endOfCable)};
}

Status CheckKnownImpedance(double ohms) {
    if (ohms == 0.0 || (ohms >= kLowestKnownImpedance && ohms <= kHighestKnownImpedance)) {
        return {};
    }
    return Failure{FormatC("The known impedance must be from %g to %g ohms (0 calibrates nothing).",
                           kLowestKnownImpedance, kHighestKnownImpedance),
                   FormatC("known impedance %g", ohms)};
}

double WindowMean(std::span<const double> values, SampleWindow window) {
    double sum = 0.0;
    for (int i = window.Begin; i < window.End; ++i) {
        sum += values[static_cast<std::size_t>(i)];
    }
    return sum / window.Length();
}

const CalibrationPoint& CalibrationPoints::Add(double known, MeasurementMode mode, double level,
                                               double estimate) {
    // Points are kept per mode: a measurement in one mode never averages into
    // a point of the other, whose levels and constants are of another scale.
    for (CalibrationPoint& point : points_) {
        if (point.KnownImpedance == known && point.Mode == mode) {
            const double count = point.Count;
            point.MeanLevel = (count * point.MeanLevel + level) / (count + 1.0);
            point.ConstantEstimate = (count * point.ConstantEstimate + estimate) / (count + 1.0);
            ++point.Count;
            return point;
        }
    }
    points_.push_front({1, level, estimate, known, mode});
    return points_.front();
}

int CalibrationPoints::CountIn(MeasurementMode mode) const {
    return static_cast<int>(std::count_if(
        points_.begin(), points_.end(), [mode](const auto& point) { return point.Mode == mode; }));
}

double PairDivisor(const CalibrationPoint& first, const CalibrationPoint& second) {
    const double li = first.MeanLevel;
    const double lj = second.MeanLevel;
    const double ki = first.KnownImpedance;
    const double kj = second.KnownImpedance;
    return li * lj * (ki - kj) / (2.0 * (ki * lj - kj * li));
}

double MeanPairDivisor(const CalibrationPoints& points, MeasurementMode mode) {
    const auto& all = points.All();
    double sum = 0.0;
    int pairs = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].Mode != mode) {
            continue;
        }
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            if (all[j].Mode == mode) {
                sum += PairDivisor(all[i], all[j]);
                ++pairs;
            }
        }
    }
    return sum / pairs;
}

double MeanPointConstant(const CalibrationPoints& points, MeasurementMode mode, double divisor) {
    double sum = 0.0;
    int count = 0;
    for (const CalibrationPoint& point : points.All()) {
        if (point.Mode == mode) {
            sum += point.KnownImpedance * (2.0 * divisor / point.MeanLevel - 1.0);
            ++count;
        }
    }
    return sum / count;
}

double MeanConstantEstimate(const CalibrationPoints& points, MeasurementMode mode) {
    double sum = 0.0;
    int count = 0;
    for (const CalibrationPoint& point : points.All()) {
        if (point.Mode == mode) {
            sum += point.ConstantEstimate;
            ++count;
        }
    }
    return sum / count;
}

double ConvertedImpedance(double constant, double level, double divisor) {
    const double rho = level / divisor - 1.0;
    return std::fabs(constant * (1.0 + rho) / (1.0 - rho));
}

namespace {

CalibrateStep Refuse(CalibrateStep step, const char* text, std::string detail) {
    step.Refused = true;
    step.Refusal = Failure{text, std::move(detail)};
    return step;
}

bool PlausibleConstant(double constant) {
    return std::isfinite(constant) && constant >= 10.0 && constant <= 400.0;
}

}  // namespace

CalibrateStep ComputeCalibrateStep(CalibrationPoints& points, MeasurementMode mode, double known,
                                   const CalibrateMeasurement& measured, ModeCalibration current,
                                   bool characterizeMode) {
    CalibrateStep step;
    step.Values = current;
    const double zm = measured.MeasuredImpedance;
    // On every station: a short or an open measured as the airline would
    // give a constant far from any real one.
    if (!(std::trunc(zm) >= kLowestKnownImpedance && std::trunc(zm) <= kHighestKnownImpedance)) {
        return Refuse(step, kInvalidCalibrationTestText, FormatC("measured %g ohms", zm));
    }
    const double estimate = current.Constant * known / zm;
    if (!std::isfinite(estimate)) {
        // Nothing measured (a zero mean): the estimate would stay in the
        // point's running mean for as long as the calibration is open.
        return Refuse(step, kInvalidCoefficientText, FormatC("measured %g ohms", zm));
    }
    const CalibrationPoint& point = points.Add(known, mode, measured.MeanLevel, estimate);

    double candidate = 0.0;
    if (characterizeMode) {
        if (points.CountIn(mode) >= 2) {
            const double divisor = MeanPairDivisor(points, mode);
            // A divisor that is no level (equal levels for different
            // impedances, a point without level) would make every later
            // measurement meaningless: it never reaches the calibration.
            if (!std::isfinite(divisor) || divisor <= 0.0) {
                return Refuse(step, kInvalidCoefficientText, FormatC("divisor %g", divisor));
            }
            step.Values.Divisor = divisor;
            step.DivisorDerived = true;
            candidate = MeanPointConstant(points, mode, divisor);
        } else {
            candidate = point.ConstantEstimate;
        }
        if (!PlausibleConstant(candidate)) {
            return Refuse(step, kInvalidCoefficientText, FormatC("constant %g", candidate));
        }
        step.Values.Constant = candidate;
        // The point's level through the calibration now in force. (Its own
        // constant estimate was made with the divisor before this step and
        // would show a 75 ohm airline as some 285 ohms after a Reset.)
        step.Displayed = ConvertedImpedance(candidate, point.MeanLevel, step.Values.Divisor);
        return step;
    }
    candidate = MeanConstantEstimate(points, mode);
    if (!std::isfinite(candidate) || candidate <= 0.0) {
        return Refuse(step, kInvalidCoefficientText, FormatC("constant %g", candidate));
    }
    step.Values.Constant = candidate;
    step.Displayed = ConvertedImpedance(candidate, point.MeanLevel, step.Values.Divisor);
    return step;
}

}  // namespace orvik
