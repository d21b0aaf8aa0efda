#include "instrument/cable_measurement.h"

#include <memory>

#include <gtest/gtest.h>

namespace orvik {
namespace {

// Arrays as an acquisition of an open cable leaves them: raw rises to 1000
// (raw[5000]) through 600 at `crossing`; the derivative copy is set by hand.
class CableMeasurementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        buffers = std::make_unique<AcquisitionBuffers>();
        SetCrossing(3100);
    }
    void SetCrossing(int crossing) {
        for (int i = 0; i < kAcquisitionLength; ++i) {
            buffers->Raw[i] = i < crossing ? 500.0 : 1000.0;
        }
        if (crossing != 5000) {
            buffers->Raw[crossing] = 600.0;  // exactly 60 % of raw[5000]
        }
    }
    // Derivative above the foot threshold from `foot`+1 to `crossing`, and
    // above the tail threshold for `length` samples from the foot.
    void SetDerivative(int foot, double footValue, int length) {
        std::fill(buffers->DerivativeCopy.begin(), buffers->DerivativeCopy.end(), 0.0);
        buffers->DerivativeCopy[foot] = footValue;
        for (int i = foot + 1; i < foot + length; ++i) {
            buffers->DerivativeCopy[i] = 20.0 + i % 7;
        }
    }
    std::unique_ptr<AcquisitionBuffers> buffers;
};

TEST_F(CableMeasurementTest, TheEndIsTheFootOfTheEdgeBeforeTheCrossing) {
    SetDerivative(3080, 4.0, 120);
    CableMeasurement cable = MeasureCable(*buffers);
    EXPECT_TRUE(cable.Found);
    EXPECT_EQ(cable.Crossing, 3100);
    EXPECT_EQ(cable.EndOfCable, 3080);
    ASSERT_EQ(cable.Kernel.size(), 120u);
    EXPECT_EQ(cable.Kernel[0], 4.0);
    EXPECT_EQ(cable.Kernel[1], buffers->DerivativeCopy[3081]);

    // A foot value of exactly the threshold still ends the walk; one that is
    // zero or below moves the end one sample on.
    SetDerivative(3080, 10.0, 120);
    EXPECT_EQ(MeasureCable(*buffers).EndOfCable, 3080);
    SetDerivative(3080, 0.0, 120);
    cable = MeasureCable(*buffers);
    EXPECT_EQ(cable.EndOfCable, 3081);
    EXPECT_EQ(cable.Kernel.size(), 119u);
    EXPECT_TRUE(cable.Found);
}

TEST_F(CableMeasurementTest, ACrossingAt5000IsAcceptedAndAt5001Fails) {
    SetCrossing(5000);
    SetDerivative(4950, 3.0, 80);
    EXPECT_TRUE(MeasureCable(*buffers).Found);
    EXPECT_EQ(MeasureCable(*buffers).EndOfCable, 4950);

    // Only a record whose far level lies below zero can cross after 5000.
    for (int i = 0; i < kAcquisitionLength; ++i) {
        buffers->Raw[i] = i < 5001 ? -1000.0 : -600.0;
    }
    const CableMeasurement cable = MeasureCable(*buffers);
    EXPECT_FALSE(cable.Found);
    EXPECT_EQ(cable.Crossing, 5001);
    EXPECT_TRUE(cable.Kernel.empty());
}

TEST_F(CableMeasurementTest, ARecordThatNeverRisesFails) {
    std::fill(buffers->Raw.begin(), buffers->Raw.end(), -100.0);
    const CableMeasurement cable = MeasureCable(*buffers);
    EXPECT_FALSE(cable.Found);
    EXPECT_EQ(cable.Crossing, 6000);
}

TEST_F(CableMeasurementTest, TheKernelTakesBetween50And350Values) {
    SetDerivative(3080, 5.0, 30);  // falls to 0 after 30 samples
    CableMeasurement cable = MeasureCable(*buffers);
    EXPECT_EQ(cable.Kernel.size(), 50u);
    EXPECT_FALSE(cable.Found) << "zeros in the first 50 values cannot divide a record";

    SetDerivative(3080, 5.0, 1000);
    cable = MeasureCable(*buffers);
    EXPECT_TRUE(cable.Found);
    EXPECT_EQ(cable.Kernel.size(), 350u);

    // A derivative at the tail threshold ends the kernel there.
    SetDerivative(3080, 5.0, 1000);
    buffers->DerivativeCopy[3080 + 200] = 2.0;
    EXPECT_EQ(MeasureCable(*buffers).Kernel.size(), 200u);
}

TEST_F(CableMeasurementTest, AnAllZeroRecordGivesNoKernel) {
    // What a missing instrument leaves before its first acquisition.
    auto empty = std::make_unique<AcquisitionBuffers>();
    const CableMeasurement cable = MeasureCable(*empty);
    EXPECT_FALSE(cable.Found);
}

}  // namespace
}  // namespace orvik
