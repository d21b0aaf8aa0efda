#include "instrument/calibration_from_store.h"

namespace orvik {
namespace {

void ApplyMode(MeasurementMode mode, const StoredModeCalibration& stored,
               CalibrationSet& calibration, ResponseKernel& kernel,
               std::vector<std::string>& notes) {
    if (stored.endOfCable) {
        calibration.SetEndOfCable(mode, *stored.endOfCable);
    }
    if (stored.divisor) {
        calibration.SetDivisor(mode, *stored.divisor);
    }
    if (stored.calibrationConstant) {
        calibration.SetCalibrationConstant(mode, *stored.calibrationConstant);
    }
    if (!stored.kernel) {
        kernel.DiscardStored();
        return;
    }
    const std::string unusable = ResponseKernel::Unusable(*stored.kernel);
    if (!unusable.empty()) {
        notes.push_back(std::string("Stored ") + ModeName(mode) + " kernel " + unusable +
                        "; the built-in kernel stays.");
        kernel.DiscardStored();
        return;
    }
    kernel.SetStored(*stored.kernel);
}

}  // namespace

std::vector<std::string> ApplyStoredCalibration(const StoredCalibration& stored,
                                                CalibrationSet& calibration,
                                                ResponseKernels& kernels) {
    std::vector<std::string> notes;
    ApplyMode(MeasurementMode::SingleEnded, stored.singleEnded, calibration, kernels.SingleEnded,
              notes);
    ApplyMode(MeasurementMode::Differential, stored.differential, calibration, kernels.Differential,
              notes);
    if (stored.lastOperator) {
        calibration.SetLastOperator(*stored.lastOperator);
    }
    if (stored.lastDate) {
        calibration.SetLastDate(*stored.lastDate);
    }
    return notes;
}

}  // namespace orvik
