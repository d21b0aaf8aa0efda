#include "results/measurement.h"

namespace orvik::results {

const char* ModeText(MeasurementMode mode) {
    return IsDifferential(mode) ? "differential" : "single";
}

std::optional<MeasurementMode> ModeFromText(const std::string& text) {
    if (text == "single") {
        return MeasurementMode::SingleEnded;
    }
    if (text == "differential") {
        return MeasurementMode::Differential;
    }
    return std::nullopt;
}

}  // namespace orvik::results
