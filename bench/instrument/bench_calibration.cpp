// Speed of the calibration's arithmetic: one Calibrate on a characterisation
// station with 20 points in the list (190 point pairs for the divisor, the
// constant over every point). Target: under 50 microseconds.
#include <benchmark/benchmark.h>

#include "instrument/calibration_arithmetic.h"

namespace {

using orvik::CalibrateMeasurement;
using orvik::CalibrationPoints;
using orvik::MeasurementMode;
using orvik::ModeCalibration;

// 20 airlines from 40 to 135 ohms measured on an instrument whose divisor is
// 12410 and constant 50.9.
CalibrationPoints TwentyPoints() {
    CalibrationPoints points;
    for (int i = 0; i < 20; ++i) {
        const double ohms = 40.0 + 5.0 * i;
        const double level = 2.0 * 12410.0 * ohms / (ohms + 50.9);
        points.Add(ohms, MeasurementMode::SingleEnded, level, 50.9);
    }
    return points;
}

void BM_CalibrateWithTwentyPoints(benchmark::State& state) {
    CalibrationPoints points = TwentyPoints();
    const double level = 2.0 * 12410.0 * 75.0 / (75.0 + 50.9);
    for (auto _ : state) {
        // The 75 ohm point again: the list keeps its 20 points.
        const orvik::CalibrateStep step = orvik::ComputeCalibrateStep(
            points, MeasurementMode::SingleEnded, 75.0, CalibrateMeasurement{75.0, level},
            ModeCalibration{12410.0, 50.9}, true);
        benchmark::DoNotOptimize(step);
    }
}
BENCHMARK(BM_CalibrateWithTwentyPoints)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
