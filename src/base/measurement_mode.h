#pragma once

namespace orvik {

// The two ways the instrument measures: one trace against ground through the
// single-ended cable, or a pair of traces through the two differential cables.
// The mode picks the register values, the calibration values and the kernel.
enum class MeasurementMode { SingleEnded, Differential };

// Which derivative of the record the processing deconvolves: the smoothed
// one for a measurement, the raw one where the cable's own response is wanted
// (characterisation).
enum class Derivative { Smoothed, Raw };

inline MeasurementMode ModeFromDifferential(bool differential) {
    return differential ? MeasurementMode::Differential : MeasurementMode::SingleEnded;
}

inline bool IsDifferential(MeasurementMode mode) {
    return mode == MeasurementMode::Differential;
}

inline const char* ModeName(MeasurementMode mode) {
    return IsDifferential(mode) ? "differential" : "single-ended";
}

}  // namespace orvik
