#pragma once

#include <string>
#include <string_view>

#include "base/measurement_mode.h"

namespace orvik {

// End-of-cable indexes that keep every index of the processing and of Run Test
// inside the 9000-sample acquisition arrays. A characterisation never produces
// a value outside them.
inline constexpr int kMinEndOfCable = 201;
inline constexpr int kMaxEndOfCable = 5000;

// The longest text of the last-calibration operator and date (one store page).
inline constexpr std::size_t kLastCalibrationTextLength = 32;

// The six values behind the impedance conversion, three per measurement mode,
// and who calibrated last and when. One instance lives for the whole program;
// the store's calibration replaces the built-in values at start-up.
class CalibrationSet {
  public:
    struct ModeValues {
        int EndOfCable;              // sample index where the instrument's cable ends
        double Divisor;              // raw level at which the reflection coefficient is 0
        double CalibrationConstant;  // reference impedance of the conversion, ohms

        bool operator==(const ModeValues&) const = default;
    };

    static constexpr ModeValues kBuiltInSingleEnded{3075, 12277.0, 51.87};
    static constexpr ModeValues kBuiltInDifferential{3280, 23526.0, 108.2};
    static constexpr double kFactoryDivisorSingleEnded = 26100.0;
    static constexpr double kFactoryDivisorDifferential = 23700.0;
    static constexpr double kFactoryConstantSingleEnded = 46.25;
    static constexpr double kFactoryConstantDifferential = 76.0;

    int EndOfCable(MeasurementMode mode) const { return Values(mode).EndOfCable; }
    double Divisor(MeasurementMode mode) const { return Values(mode).Divisor; }
    double CalibrationConstant(MeasurementMode mode) const {
        return Values(mode).CalibrationConstant;
    }

    // Indexes outside kMinEndOfCable..kMaxEndOfCable are brought to the nearer
    // limit, so that no acquisition or trace reads outside its arrays.
    void SetEndOfCable(MeasurementMode mode, int index);
    void SetDivisor(MeasurementMode mode, double divisor) { MutableValues(mode).Divisor = divisor; }
    void SetCalibrationConstant(MeasurementMode mode, double constant) {
        MutableValues(mode).CalibrationConstant = constant;
    }

    const ModeValues& Values(MeasurementMode mode) const {
        return IsDifferential(mode) ? differential_ : singleEnded_;
    }
    // All three values of a mode at once (the end-of-cable index is limited).
    void SetValues(MeasurementMode mode, const ModeValues& values);

    // The Reset button: both divisors and both constants to the factory
    // values; the end-of-cable indexes stay.
    void ResetToFactory();

    // Last-calibration strings, each at most 32 characters (longer text is cut).
    const std::string& LastOperator() const { return lastOperator_; }
    const std::string& LastDate() const { return lastDate_; }
    void SetLastOperator(std::string_view text);
    void SetLastDate(std::string_view text);

    bool operator==(const CalibrationSet&) const = default;

  private:
    ModeValues& MutableValues(MeasurementMode mode) {
        return IsDifferential(mode) ? differential_ : singleEnded_;
    }

    ModeValues singleEnded_ = kBuiltInSingleEnded;
    ModeValues differential_ = kBuiltInDifferential;
    std::string lastOperator_;
    std::string lastDate_;
};

// True when the process's full command line (program path included) holds the
// word "Characterize", case-sensitive: the station may then derive divisors
// and reset to factory values.
bool CharacterizeModeFromCommandLine(std::string_view commandLine);
// The same for the arguments a program receives: they are joined with spaces
// into the command line first.
bool CharacterizeModeFromArguments(int argc, const char* const* argv);

}  // namespace orvik
