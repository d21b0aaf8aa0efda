#include "instrument/response_kernel.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace orvik {
namespace {

struct Markers {
    MeasurementMode mode;
    std::size_t length;
    double first[5];
    double peak;
    std::size_t peakIndex;
    double last;
    double sum;
    double sumTolerance;  // half a unit of the last digit given
};

// The markers as the instrument's documentation gives them.
const Markers kSingleEnded{MeasurementMode::SingleEnded,
                           222,
                           {11.1755, 12.5068, 13.937, 15.4298, 17.0193},
                           136.145,
                           58,
                           1.04919,
                           11267.9688,
                           0.00005};
const Markers kDifferential{MeasurementMode::Differential,
                            480,
                            {10.6276, 11.4546, 12.3231, 13.2344, 14.1856},
                            99.211,
                            73,
                            1.01692,
                            13433.40489,
                            0.000005};

class BuiltInKernel : public ::testing::TestWithParam<Markers> {};

TEST_P(BuiltInKernel, HonoursEveryMarker) {
    const Markers& m = GetParam();
    const auto values = ResponseKernel::BuiltIn(m.mode);
    ASSERT_EQ(values.size(), m.length);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(values[i], m.first[i]) << "value " << i;
    }
    EXPECT_EQ(values[m.peakIndex], m.peak);
    EXPECT_EQ(values.back(), m.last);
    double sum = 0.0;
    for (double value : values) {
        sum += value;
    }
    EXPECT_NEAR(sum, m.sum, m.sumTolerance);
    const ResponseKernel kernel(m.mode);
    EXPECT_DOUBLE_EQ(kernel.Sum(), sum);
}

TEST_P(BuiltInKernel, RisesToItsOnlyPeakAndDecaysSlowlyToAboutOne) {
    const Markers& m = GetParam();
    const auto values = ResponseKernel::BuiltIn(m.mode);
    for (std::size_t i = 1; i <= m.peakIndex; ++i) {
        EXPECT_GT(values[i], values[i - 1]) << "rise at " << i;
    }
    for (std::size_t i = m.peakIndex + 1; i < values.size(); ++i) {
        EXPECT_LT(values[i], values[i - 1]) << "decay at " << i;
    }
    // Smooth: no step between neighbours is much larger than the steepest
    // part of a gentle curve, and the slope changes gradually.
    for (std::size_t i = 2; i < values.size(); ++i) {
        const double slope = values[i] - values[i - 1];
        const double previousSlope = values[i - 1] - values[i - 2];
        EXPECT_LT(std::fabs(slope), 4.0) << i;
        EXPECT_LT(std::fabs(slope - previousSlope), 0.25) << i;
    }
    // Slow decay: half the peak is reached well after the peak, and the
    // last tenth of the kernel stays within a little of 1.
    std::size_t half = m.peakIndex;
    while (values[half] > m.peak / 2) {
        ++half;
    }
    EXPECT_GT(half - m.peakIndex, 25u);
    const std::size_t lastTenth = values.size() - values.size() / 10;
    EXPECT_LT(values[lastTenth], 3.0);
    EXPECT_GT(values[lastTenth], 1.0);
}

INSTANTIATE_TEST_SUITE_P(Modes, BuiltInKernel, ::testing::Values(kSingleEnded, kDifferential),
                         [](const auto& info) {
                             return std::string(IsDifferential(info.param.mode) ? "Differential"
                                                                                : "SingleEnded");
                         });

TEST(ResponseKernel, AStoredKernelStandsInForTheBuiltInOne) {
    ResponseKernel kernel(MeasurementMode::Differential);
    EXPECT_FALSE(kernel.HasStored());
    EXPECT_EQ(kernel.Length(), 480u);

    std::vector<double> measured(50, 2.0);
    measured[0] = 1.0;
    ASSERT_TRUE(kernel.SetStored(measured));
    EXPECT_TRUE(kernel.HasStored());
    EXPECT_EQ(kernel.Length(), 50u);
    EXPECT_EQ(kernel.Values()[0], 1.0);
    EXPECT_EQ(kernel.Sum(), 99.0);

    kernel.DiscardStored();
    EXPECT_FALSE(kernel.HasStored());
    EXPECT_EQ(kernel.Length(), 480u);
    EXPECT_EQ(kernel.Values()[0], 10.6276);
}

TEST(ResponseKernel, RefusesKernelsTheDeconvolutionCannotUse) {
    ResponseKernel kernel(MeasurementMode::SingleEnded);
    ASSERT_TRUE(kernel.SetStored(std::vector<double>(60, 3.0)));
    EXPECT_FALSE(kernel.SetStored(std::vector<double>(49, 1.0)));
    EXPECT_FALSE(kernel.SetStored({}));
    EXPECT_FALSE(kernel.SetStored(std::vector<double>(ResponseKernel::kMaxLength + 1, 1.0)));
    // The amplitude estimate divides by each of the first 50 values.
    std::vector<double> zeroed(60, 2.0);
    zeroed[49] = 0.0;
    EXPECT_FALSE(kernel.SetStored(zeroed));
    EXPECT_FALSE(ResponseKernel::Unusable(zeroed).empty());
    zeroed[49] = -0.0;
    EXPECT_FALSE(kernel.SetStored(zeroed));
    zeroed[49] = 2.0;
    zeroed[50] = 0.0;  // only summed, never divided by
    std::vector<double> notNumbers(60, 2.0);
    notNumbers[59] = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(kernel.SetStored(notNumbers));
    notNumbers[59] = std::nan("");
    EXPECT_FALSE(kernel.SetStored(notNumbers));
    EXPECT_EQ(kernel.Length(), 60u) << "a refused kernel changes nothing";
    EXPECT_EQ(kernel.Values()[0], 3.0);
    EXPECT_TRUE(kernel.SetStored(zeroed));
    EXPECT_TRUE(ResponseKernel::Unusable(zeroed).empty());
    EXPECT_TRUE(kernel.SetStored(std::vector<double>(ResponseKernel::kMaxLength, 1.0)));
}

TEST(ResponseKernels, HoldOneKernelPerMode) {
    ResponseKernels kernels;
    EXPECT_EQ(kernels.For(MeasurementMode::SingleEnded).Length(), 222u);
    EXPECT_EQ(kernels.For(MeasurementMode::Differential).Length(), 480u);
    kernels.For(MeasurementMode::SingleEnded).SetStored(std::vector<double>(70, 1.0));
    EXPECT_EQ(kernels.SingleEnded.Length(), 70u);
    EXPECT_EQ(kernels.Differential.Length(), 480u);
}

}  // namespace
}  // namespace orvik
