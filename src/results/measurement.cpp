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

MeasurementSummary SummaryOf(const Measurement& m) {
    return {.Test = m.Test,
            .ElementPosition = m.ElementPosition,
            .Time = m.Time,
            .Average = m.Average,
            .Passed = m.Passed,
            .Criterion = m.Judged.Name,
            .Target = m.Judged.TargetImpedance,
            .Minimum = m.Judged.MinimumImpedance,
            .Maximum = m.Judged.MaximumImpedance,
            .Coupon = m.Coupon,
            .Name = m.Name,
            .CollectionFile = m.CollectionFile};
}

}  // namespace orvik::results
