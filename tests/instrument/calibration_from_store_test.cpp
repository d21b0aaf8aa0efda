#include "instrument/calibration_from_store.h"

#include <cmath>

#include <gtest/gtest.h>

namespace orvik {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

TEST(ApplyStoredCalibration, TakesWhatTheStoreHeldAndKeepsTheRest) {
    CalibrationSet calibration;
    ResponseKernels kernels;
    kernels.Differential.SetStored(std::vector<double>(90, 2.0));  // from an earlier start-up
    StoredCalibration stored;
    stored.calibrated = true;
    stored.singleEnded.endOfCable = 3071;
    stored.singleEnded.calibrationConstant = 50.9;
    stored.differential.divisor = 23310.0;
    stored.singleEnded.kernel = std::vector<double>(60, 4.0);
    stored.lastOperator = "Kim";

    EXPECT_TRUE(ApplyStoredCalibration(stored, calibration, kernels).empty());

    EXPECT_EQ(calibration.EndOfCable(kSingle), 3071);
    EXPECT_EQ(calibration.Divisor(kSingle), CalibrationSet::kBuiltInSingleEnded.Divisor);
    EXPECT_EQ(calibration.CalibrationConstant(kSingle), 50.9);
    EXPECT_EQ(calibration.EndOfCable(kDifferential),
              CalibrationSet::kBuiltInDifferential.EndOfCable);
    EXPECT_EQ(calibration.Divisor(kDifferential), 23310.0);
    EXPECT_EQ(calibration.LastOperator(), "Kim");
    EXPECT_EQ(calibration.LastDate(), "");
    EXPECT_EQ(kernels.SingleEnded.Length(), 60u);
    // The store held no differential kernel: the built-in one applies.
    EXPECT_FALSE(kernels.Differential.HasStored());
}

TEST(ApplyStoredCalibration, RefusesKernelsThatWouldDivideByZero) {
    CalibrationSet calibration;
    ResponseKernels kernels;
    StoredCalibration stored;
    std::vector<double> kernel(50, 3.0);
    kernel.front() = 0.0;
    stored.singleEnded.kernel = kernel;
    kernel.front() = 3.0;
    kernel.back() = std::nan("");
    stored.differential.kernel = kernel;

    const std::vector<std::string> notes = ApplyStoredCalibration(stored, calibration, kernels);

    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0],
              "Stored single-ended kernel holds a zero among its first 50 values, which every "
              "measurement divides by; the built-in kernel stays.");
    EXPECT_EQ(notes[1],
              "Stored differential kernel holds values that are not numbers; the built-in "
              "kernel stays.");
    EXPECT_FALSE(kernels.SingleEnded.HasStored());
    EXPECT_FALSE(kernels.Differential.HasStored());
    EXPECT_EQ(calibration, CalibrationSet());
}

}  // namespace
}  // namespace orvik
