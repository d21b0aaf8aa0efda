#include "simulator/waveform_physics.h"

#include <cmath>
#include <memory>
#include <numeric>

#include <gtest/gtest.h>

#include "instrument/cable_measurement.h"
#include "instrument/process_record.h"
#include "simulator/physics_factory.h"

namespace orvik::sim {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

double Rho(double from, double to) {
    return (to - from) / (to + from);
}

TEST(ReflectedStep, TerminationsReflectAtOnce) {
    const auto open = WaveformPhysics::ReflectedStep(CableAttachment::Nothing(), 50.0, 10);
    const auto shorted = WaveformPhysics::ReflectedStep(CableAttachment::ShortCircuit(), 50.0, 10);
    const auto load = WaveformPhysics::ReflectedStep(CableAttachment::Load(75.0), 50.0, 10);
    ASSERT_EQ(open.size(), 10u);
    for (int t = 0; t < 10; ++t) {
        EXPECT_EQ(open[t], 1.0);
        EXPECT_EQ(shorted[t], -1.0);
        EXPECT_DOUBLE_EQ(load[t], 0.2);
    }
    EXPECT_DOUBLE_EQ(WaveformPhysics::ReflectedStep(CableAttachment::Load(50.0), 50.0, 1)[0], 0.0);
}

TEST(ReflectedStep, AMatchedLineShowsOnlyItsOpenEnd) {
    const auto y = WaveformPhysics::ReflectedStep(
        CableAttachment::Coupon(CouponProfile::Uniform(50.0)), 50.0, 1000);
    for (int t = 0; t < 750; ++t) {
        ASSERT_NEAR(y[t], 0.0, 1e-15) << t;
    }
    for (int t = 750; t < 1000; ++t) {
        ASSERT_NEAR(y[t], 1.0, 1e-12) << t;
    }
}

TEST(ReflectedStep, ASectionFollowsTheLayeredLinePhysics) {
    // 50-ohm cable, then 60 ohms from 0 to 4 inches, 45 ohms to 6, open end.
    const auto profile = CouponProfile::Parse("60@0-4,45@4-6");
    const auto y = WaveformPhysics::ReflectedStep(CableAttachment::Coupon(*profile), 50.0, 6000);
    const double r1 = Rho(50.0, 60.0);
    const double r2 = Rho(60.0, 45.0);
    EXPECT_DOUBLE_EQ(y[0], r1);
    EXPECT_DOUBLE_EQ(y[299], r1);
    // The second boundary's reflection passes the first one both ways.
    EXPECT_NEAR(y[300], r1 + (1 + r1) * r2 * (1 - r1), 1e-12);
    // Once every bounce has died out the line is an open circuit.
    EXPECT_NEAR(y[5999], 1.0, 1e-6);
    // A step of only the cable's own impedance reflects nothing.
    EXPECT_NEAR(WaveformPhysics::ReflectedStep(CableAttachment::Airline(50.0, 4.0), 50.0, 300)[299],
                0.0, 1e-15);
}

TEST(ReflectedStep, AnAirlineIsALineOfItsLengthEndingOpen) {
    const auto y = WaveformPhysics::ReflectedStep(CableAttachment::Airline(75.0, 4.0), 50.0, 320);
    EXPECT_DOUBLE_EQ(y[0], 0.2);
    EXPECT_DOUBLE_EQ(y[299], 0.2);
    EXPECT_GT(y[300], 0.9) << "the open end returns after 4 inches";
}

TEST(ReflectedStep, ATerminatedAirlineReturnsNothingFromItsFarEnd) {
    const CableAttachment airline = CableAttachment::TerminatedAirline(75.0, 4.0);
    const auto y = WaveformPhysics::ReflectedStep(airline, 50.0, 2000);
    EXPECT_DOUBLE_EQ(y[0], 0.2);
    EXPECT_DOUBLE_EQ(y[300], 0.2);
    EXPECT_DOUBLE_EQ(y[1999], 0.2);
    EXPECT_EQ(airline.Describe(), "airline 75 ohms, 4 in, terminated");
    EXPECT_FALSE(airline == CableAttachment::Airline(75.0, 4.0));
}

// What the simulator's README tells someone comparing it with a real coupon.
TEST(SimulatorAsDocumented, CablesJunctionsAndNoiseAreWhatTheReadmeSays) {
    EXPECT_EQ(WaveformPhysics::Physics(kSingle).CableImpedance, 50.9);
    EXPECT_EQ(WaveformPhysics::Physics(kDifferential).CableImpedance, 104.6);
    // A junction at 4.01 inches lies at 4 + 1/75 inch, the nearest layer edge.
    const auto at = [](const char* profile) {
        return WaveformPhysics::ReflectedStep(
            CableAttachment::Coupon(*CouponProfile::Parse(profile)), 50.9, 1600);
    };
    EXPECT_EQ(at("50@0-4.01,60@4.01-10"), at("50@0-4.0133,60@4.0133-10"));
    EXPECT_NE(at("50@0-4.01,60@4.01-10"), at("50@0-4,60@4-10"));
    // Every start gives the same records: the noise starts from one seed.
    for (const MeasurementMode mode : {kSingle, kDifferential}) {
        WaveformPhysics first, second;
        EXPECT_EQ(first.Record(mode), second.Record(mode));
    }
}

TEST(CableResponse, IsAUnitStepWithAKernelLikePeak) {
    for (MeasurementMode mode : {kSingle, kDifferential}) {
        const auto& response = WaveformPhysics::CableResponse(mode);
        EXPECT_NEAR(std::accumulate(response.begin(), response.end(), 0.0), 1.0, 1e-12);
        const auto peak = std::max_element(response.begin(), response.end()) - response.begin();
        const int foot = WaveformPhysics::Physics(mode).FootLength;
        const int builtInPeak = IsDifferential(mode) ? 73 : 58;
        EXPECT_NEAR(peak - foot, builtInPeak, 2) << ModeName(mode);
        for (double value : response) {
            ASSERT_GE(value, 0.0);
        }
    }
}

class RecordTest : public ::testing::TestWithParam<MeasurementMode> {};

TEST_P(RecordTest, TheIncidentStepHasSettledLongBeforeTheEndOfTheCable) {
    const MeasurementMode mode = GetParam();
    const CablePhysics& truth = WaveformPhysics::Physics(mode);
    WaveformPhysics physics;
    physics.Attach(mode, CableAttachment::ShortCircuit());
    const auto& clean = physics.NoiseFreeRecord(mode);
    ASSERT_EQ(clean.size(), 8192u);
    EXPECT_EQ(clean[0], truth.Baseline);
    EXPECT_LT(truth.IncidentIndex, 1500);
    for (int t = 2000; t < truth.EndOfCable - truth.FootLength; ++t) {
        ASSERT_NEAR(clean[t], truth.Baseline + truth.StepHeight, 1e-3) << t;
    }
    // A short pulls the far record back to the baseline.
    EXPECT_NEAR(clean[8191], truth.Baseline, 1.0);
}

TEST_P(RecordTest, NoiseIsSmallAndRepeatsWithItsSeed) {
    const MeasurementMode mode = GetParam();
    WaveformPhysics first(42), second(42), other(43);
    const auto a = first.Record(mode);
    const auto b = second.Record(mode);
    const auto c = other.Record(mode);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    const auto& clean = first.NoiseFreeRecord(mode);
    double sumSquares = 0.0;
    for (int t = 0; t < 8192; ++t) {
        sumSquares += (a[t] - clean[t]) * (a[t] - clean[t]);
    }
    const double deviation = std::sqrt(sumSquares / 8192);
    const double expected = WaveformPhysics::Physics(mode).NoiseDeviation;
    EXPECT_NEAR(deviation, std::hypot(expected, std::sqrt(1.0 / 12.0)), 0.15 * expected);
    first.SeedNoise(42);
    EXPECT_EQ(first.Record(mode), a);
}

TEST_P(RecordTest, AnOpenCableDoublesTheStepAndStaysInsideSixteenBits) {
    const MeasurementMode mode = GetParam();
    const CablePhysics& truth = WaveformPhysics::Physics(mode);
    WaveformPhysics physics;
    const auto record = physics.Record(mode);
    EXPECT_NEAR(record[6000], truth.Baseline + 2 * truth.StepHeight, 15.0);
    for (std::int16_t sample : record) {
        ASSERT_GT(sample, -32768);
        ASSERT_LT(sample, 32767);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RecordTest, ::testing::Values(kSingle, kDifferential),
                         [](const auto& info) {
                             return std::string(IsDifferential(info.param) ? "Differential"
                                                                           : "SingleEnded");
                         });

// The program's processing applied to the simulator's records, as an
// acquisition does it, with the simulator's factory calibration in force.
class Measurement : public ::testing::Test {
  protected:
    void UseFactoryCalibration(MeasurementMode mode) {
        const PhysicsFactory& factory = PhysicsFactoryValues(mode);
        calibration.SetValues(mode,
                              {factory.EndOfCable, factory.Divisor, factory.CalibrationConstant});
        ASSERT_TRUE(kernels.For(mode).SetStored(factory.Kernel));
    }
    void Acquire(MeasurementMode mode, Derivative derivative) {
        const auto record = physics.Record(mode);
        buffers->ClearForAcquisition();
        std::copy(record.begin(), record.end(), buffers->Raw.begin());
        ProcessRecord(*buffers, calibration, kernels, mode, kProcessedSampleCount, derivative, "");
    }
    double WindowAverage(MeasurementMode mode, double fromInch, double toInch) {
        const int e = calibration.EndOfCable(mode);
        double sum = 0.0;
        int count = 0;
        for (int i = e + static_cast<int>(fromInch * 75); i < e + static_cast<int>(toInch * 75);
             ++i) {
            sum += buffers->Impedance[i];
            ++count;
        }
        return sum / count;
    }
    void AttachCoupon(MeasurementMode mode, const char* profile) {
        physics.Attach(mode, CableAttachment::Coupon(*CouponProfile::Parse(profile)));
    }

    WaveformPhysics physics{2024};
    std::unique_ptr<AcquisitionBuffers> buffers = std::make_unique<AcquisitionBuffers>();
    CalibrationSet calibration;
    ResponseKernels kernels;
};

TEST_F(Measurement, CharacterisationFindsTheTrueEndOfTheCable) {
    for (MeasurementMode mode : {kSingle, kDifferential}) {
        const int truth = WaveformPhysics::Physics(mode).EndOfCable;
        EXPECT_NEAR(PhysicsFactoryValues(mode).EndOfCable, truth, 1) << ModeName(mode);
        for (std::uint64_t seed = 1; seed <= 5; ++seed) {
            physics.SeedNoise(seed);
            physics.Attach(mode, CableAttachment::Nothing());
            calibration.SetEndOfCable(mode, 2000);
            kernels.For(mode).DiscardStored();
            Acquire(mode, Derivative::Raw);
            const CableMeasurement cable = MeasureCable(*buffers);
            ASSERT_TRUE(cable.Found);
            EXPECT_NEAR(cable.EndOfCable, truth, 3) << ModeName(mode) << " seed " << seed;
            EXPECT_GE(cable.Kernel.size(), 150u);
        }
    }
}

TEST_F(Measurement, AUniformFiftyOhmCouponMeasuresFiftyOhms) {
    UseFactoryCalibration(kSingle);
    AttachCoupon(kSingle, "50");
    for (int repeat = 0; repeat < 3; ++repeat) {
        Acquire(kSingle, Derivative::Smoothed);
        EXPECT_NEAR(WindowAverage(kSingle, 4.0, 7.0), 50.0, 0.5);
    }
}

TEST_F(Measurement, AUniformHundredOhmDifferentialCouponMeasuresHundredOhms) {
    UseFactoryCalibration(kDifferential);
    AttachCoupon(kDifferential, "100");
    for (int repeat = 0; repeat < 3; ++repeat) {
        Acquire(kDifferential, Derivative::Smoothed);
        EXPECT_NEAR(WindowAverage(kDifferential, 4.0, 7.0), 100.0, 1.0);
    }
}

TEST_F(Measurement, ASixtyOhmSectionShowsWhereItIs) {
    UseFactoryCalibration(kSingle);
    AttachCoupon(kSingle, "50@0-4,60@4-6,50@6-10");
    Acquire(kSingle, Derivative::Smoothed);
    const int e = calibration.EndOfCable(kSingle);
    const double* trace = buffers->Impedance.data() + e;
    EXPECT_NEAR(WindowAverage(kSingle, 1.0, 3.5), 50.0, 0.5);
    EXPECT_NEAR(WindowAverage(kSingle, 4.5, 5.5), 60.0, 1.0);
    EXPECT_NEAR(WindowAverage(kSingle, 6.5, 9.0), 50.0, 0.7);
    auto crossing = [&](int from, double level, bool rising) {
        for (int i = from; i < 750; ++i) {
            if (rising ? trace[i] >= level : trace[i] <= level) {
                return i;
            }
        }
        return -1;
    };
    EXPECT_NEAR(crossing(200, 55.0, true), 300, 2);
    EXPECT_NEAR(crossing(350, 55.0, false), 450, 2);
}

TEST_F(Measurement, BuiltInValuesMeasureTheSimulatorSlightlyWrong) {
    // The true calibration differs from the program's defaults, so the
    // defaults read a 50-ohm coupon a little high, and the factory values
    // read it right.
    AttachCoupon(kSingle, "50");
    Acquire(kSingle, Derivative::Smoothed);
    const double withDefaults = WindowAverage(kSingle, 4.0, 7.0);
    EXPECT_GT(std::fabs(withDefaults - 50.0), 0.5);
    EXPECT_LT(std::fabs(withDefaults - 50.0), 5.0);
}

}  // namespace
}  // namespace orvik::sim
