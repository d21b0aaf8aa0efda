#include "instrument/calibration_set.h"

#include <algorithm>

namespace orvik {

void CalibrationSet::SetEndOfCable(MeasurementMode mode, int index) {
    MutableValues(mode).EndOfCable = std::clamp(index, kMinEndOfCable, kMaxEndOfCable);
}

void CalibrationSet::SetValues(MeasurementMode mode, const ModeValues& values) {
    MutableValues(mode) = values;
    SetEndOfCable(mode, values.EndOfCable);
}

void CalibrationSet::ResetToFactory() {
    singleEnded_.Divisor = kFactoryDivisorSingleEnded;
    singleEnded_.CalibrationConstant = kFactoryConstantSingleEnded;
    differential_.Divisor = kFactoryDivisorDifferential;
    differential_.CalibrationConstant = kFactoryConstantDifferential;
}

void CalibrationSet::SetLastOperator(std::string_view text) {
    lastOperator_ = std::string(text.substr(0, kLastCalibrationTextLength));
}

void CalibrationSet::SetLastDate(std::string_view text) {
    lastDate_ = std::string(text.substr(0, kLastCalibrationTextLength));
}

bool CharacterizeModeFromCommandLine(std::string_view commandLine) {
    return commandLine.find("Characterize") != std::string_view::npos;
}

bool CharacterizeModeFromArguments(int argc, const char* const* argv) {
    std::string commandLine;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr) {
            break;
        }
        if (i > 0) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    return CharacterizeModeFromCommandLine(commandLine);
}

}  // namespace orvik
