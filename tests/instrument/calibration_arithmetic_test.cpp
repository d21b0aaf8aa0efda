// The arithmetic of the calibration: the airline windows and the lengths
// they allow, the point list, the pair divisor, and one Calibrate's new
// values in normal and characterisation mode with the "Invalid data" checks.
#include "instrument/calibration_arithmetic.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace orvik {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;
constexpr int kEnd = 3075;
constexpr int kProcessed = 6000;

TEST(CalibrationWindows, FollowTheEndOfCableAndTheLength) {
    EXPECT_EQ(VerifyWindow(kEnd, 4.0), (SampleWindow{3185, 3297}));  // 3297.5 truncated
    EXPECT_EQ(CalibrateWindow(kEnd, 4.0), (SampleWindow{3150, 3375}));
    EXPECT_EQ(AirlineTraceWindow(kEnd, 4.0), (SampleWindow{3075, 3375}));
    EXPECT_EQ(CalibrateWindow(3280, 2.5).Length(), 112);
    EXPECT_TRUE(CalibrateWindow(kEnd, 1.0).Empty());
    EXPECT_TRUE(VerifyWindow(kEnd, 2.5).Empty());
}

TEST(AirlineLength, EachOperationNeedsASampleInItsWindow) {
    EXPECT_FALSE(CheckAirlineLength(AirlineUse::Calibrate, 1.0, kEnd, kProcessed));
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Calibrate, 76.0 / 75.0, kEnd, kProcessed));
    EXPECT_EQ(CalibrateWindow(kEnd, 76.0 / 75.0).Length(), 1);
    EXPECT_FALSE(CheckAirlineLength(AirlineUse::Verify, 2.5, kEnd, kProcessed));
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Verify, 2.52, kEnd, kProcessed));
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Calibrate, 2.0, kEnd, kProcessed));
    EXPECT_FALSE(CheckAirlineLength(AirlineUse::Verify, 2.0, kEnd, kProcessed));
}

TEST(AirlineLength, NoWindowReachesPastTheProcessedRecord) {
    // (6000 - 3075) / 75 = 39 inches exactly.
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Calibrate, 39.0, kEnd, kProcessed));
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Verify, 39.0, kEnd, kProcessed));
    EXPECT_FALSE(CheckAirlineLength(AirlineUse::Calibrate, 39.02, kEnd, kProcessed));
    EXPECT_FALSE(CheckAirlineLength(AirlineUse::Verify, 1e300, kEnd, kProcessed));
}

TEST(AirlineLength, RefusalNamesTheAllowedRange) {
    const Status tooShort = CheckAirlineLength(AirlineUse::Calibrate, 0.5, kEnd, kProcessed);
    ASSERT_FALSE(tooShort);
    EXPECT_EQ(tooShort.Error().Message,
              "The length of the airline must be from 1.02 to 39.00 inches for Calibrate.");
    const Status verify = CheckAirlineLength(AirlineUse::Verify, -4.0, 3280, kProcessed);
    ASSERT_FALSE(verify);
    EXPECT_EQ(verify.Error().Message,
              "The length of the airline must be from 2.52 to 36.26 inches for Verify.");
    // Both printed limits are allowed themselves.
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Verify, 2.52, 3280, kProcessed));
    EXPECT_TRUE(CheckAirlineLength(AirlineUse::Verify, 36.26, 3280, kProcessed));
    for (double notANumber :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(CheckAirlineLength(AirlineUse::Calibrate, notANumber, kEnd, kProcessed));
    }
}

// From 1 to 1000 ohms, or 0 for "nothing to calibrate against"; the
// refusal names the range.
TEST(KnownImpedance, OneToAThousandOhmsOrNothing) {
    for (double accepted : {0.0, 1.0, 50.0, 1000.0}) {
        EXPECT_TRUE(CheckKnownImpedance(accepted)) << accepted;
    }
    for (double refused : {0.5, 1000.5, 1e300, -50.0}) {
        const Status checked = CheckKnownImpedance(refused);
        ASSERT_FALSE(checked) << refused;
        EXPECT_EQ(checked.Error().Message,
                  "The known impedance must be from 1 to 1000 ohms (0 calibrates nothing).");
    }
}

TEST(KnownImpedance, FiniteAndNotNegative) {
    EXPECT_TRUE(CheckKnownImpedance(0.0));
    EXPECT_TRUE(CheckKnownImpedance(50.0));
    EXPECT_FALSE(CheckKnownImpedance(-0.1));
    EXPECT_FALSE(CheckKnownImpedance(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(CheckKnownImpedance(std::numeric_limits<double>::infinity()));
}

TEST(CalibrationPointList, SameImpedanceAndModeAveragesNewOnesGoFirst) {
    CalibrationPoints points;
    points.Add(50.0, kSingle, 12000.0, 51.0);
    points.Add(75.0, kSingle, 14000.0, 52.0);
    const CalibrationPoint& again = points.Add(50.0, kSingle, 12600.0, 52.0);
    EXPECT_EQ(again.Count, 2);
    EXPECT_DOUBLE_EQ(again.MeanLevel, 12300.0);
    EXPECT_DOUBLE_EQ(again.ConstantEstimate, 51.5);
    const CalibrationPoint& third = points.Add(50.0, kSingle, 12300.0, 51.5);
    EXPECT_EQ(third.Count, 3);
    EXPECT_DOUBLE_EQ(third.MeanLevel, 12300.0);
    ASSERT_EQ(points.All().size(), 2u);
    EXPECT_EQ(points.All()[0].KnownImpedance, 75.0);  // the newest impedance is the head
    // The other mode's measurement of the same impedance is a point of its own.
    points.Add(50.0, kDifferential, 23000.0, 100.0);
    ASSERT_EQ(points.All().size(), 3u);
    EXPECT_EQ(points.All()[0].Mode, kDifferential);
    EXPECT_EQ(points.CountIn(kSingle), 2);
    EXPECT_EQ(points.All()[2].Count, 3);
}

// Levels that a conversion with `divisor` and `constant` gives for `ohms`.
double LevelFor(double ohms, double divisor, double constant) {
    return 2.0 * divisor * ohms / (ohms + constant);
}

TEST(PairDivisor, RecoversTheDivisorInEitherOrder) {
    const CalibrationPoint p50{1, LevelFor(50.0, 12410.0, 50.9), 0.0, 50.0, kSingle};
    const CalibrationPoint p75{1, LevelFor(75.0, 12410.0, 50.9), 0.0, 75.0, kSingle};
    EXPECT_NEAR(PairDivisor(p50, p75), 12410.0, 1e-6);
    EXPECT_DOUBLE_EQ(PairDivisor(p50, p75), PairDivisor(p75, p50));
    const double l1 = 11000.0, l2 = 14500.0;
    const CalibrationPoint a{1, l1, 0.0, 50.0, kSingle};
    const CalibrationPoint b{1, l2, 0.0, 75.0, kSingle};
    EXPECT_DOUBLE_EQ(PairDivisor(a, b), l1 * l2 * (50.0 - 75.0) / (2.0 * (50.0 * l2 - 75.0 * l1)));
}

TEST(CalibrateStep, NormalModeAveragesTheEstimatesAndKeepsTheDivisor) {
    CalibrationPoints points;
    const ModeCalibration current{12277.0, 51.87};
    // Zm 51 for 50 ohms: estimate 51.87 * 50 / 51; Zm 74 for 75 ohms.
    CalibrateStep first =
        ComputeCalibrateStep(points, kSingle, 50.0, {51.0, 12200.0}, current, false);
    ASSERT_FALSE(first.Refused);
    EXPECT_DOUBLE_EQ(first.Values.Constant, 51.87 * 50.0 / 51.0);
    CalibrateStep second =
        ComputeCalibrateStep(points, kSingle, 75.0, {74.0, 14600.0}, first.Values, false);
    ASSERT_FALSE(second.Refused);
    const double estimate75 = first.Values.Constant * 75.0 / 74.0;
    EXPECT_DOUBLE_EQ(second.Values.Constant, (51.87 * 50.0 / 51.0 + estimate75) / 2.0);
    EXPECT_EQ(second.Values.Divisor, 12277.0);
    EXPECT_FALSE(second.DivisorDerived);
    EXPECT_DOUBLE_EQ(second.Displayed,
                     ConvertedImpedance(second.Values.Constant, 14600.0, 12277.0));
    // No plausibility check outside characterisation.
    CalibrateStep wild =
        ComputeCalibrateStep(points, kSingle, 5000.0, {1.0, 20000.0}, current, false);
    EXPECT_FALSE(wild.Refused);
}

TEST(CalibrateStep, CharacterisationDerivesDivisorAndConstantFromTwoPoints) {
    const double divisor = 12410.0, constant = 50.9;
    CalibrationPoints points;
    const ModeCalibration reset{26100.0, 46.25};
    const double l50 = LevelFor(50.0, divisor, constant);
    const double l75 = LevelFor(75.0, divisor, constant);
    const CalibrateStep one = ComputeCalibrateStep(
        points, kSingle, 50.0, {ConvertedImpedance(46.25, l50, 26100.0), l50}, reset, true);
    ASSERT_FALSE(one.Refused);
    EXPECT_FALSE(one.DivisorDerived);  // one point: the divisor stays
    EXPECT_EQ(one.Values.Divisor, 26100.0);
    EXPECT_DOUBLE_EQ(one.Values.Constant, points.All()[0].ConstantEstimate);

    const CalibrateStep two = ComputeCalibrateStep(
        points, kSingle, 75.0, {ConvertedImpedance(one.Values.Constant, l75, 26100.0), l75},
        one.Values, true);
    ASSERT_FALSE(two.Refused);
    EXPECT_TRUE(two.DivisorDerived);
    EXPECT_NEAR(two.Values.Divisor, divisor, 1e-6);
    EXPECT_NEAR(two.Values.Constant, constant, 1e-9);
    // Shown: the airline just measured, through the new calibration.
    EXPECT_NEAR(two.Displayed, 75.0, 1e-9);
}

TEST(CalibrateStep, CharacterisationRefusesImplausibleMeasurements) {
    CalibrationPoints points;
    const ModeCalibration current{12277.0, 51.87};
    for (double zm : {0.99, 1001.1, std::numeric_limits<double>::quiet_NaN()}) {
        const CalibrateStep step =
            ComputeCalibrateStep(points, kSingle, 50.0, {zm, 12000.0}, current, true);
        ASSERT_TRUE(step.Refused);
        EXPECT_EQ(step.Refusal.Message,
                  "Invalid data in calibration test.  Please verify your hardware setup and try "
                  "again.");
    }
    EXPECT_TRUE(points.All().empty());  // refused before a point is made
    // trunc(1000.9) = 1000 and trunc(1.5) = 1 still pass.
    EXPECT_FALSE(
        ComputeCalibrateStep(points, kSingle, 50.0, {1000.9, 12000.0}, {12277.0, 600.0}, true)
            .Refused);
    CalibrationPoints others;
    EXPECT_FALSE(
        ComputeCalibrateStep(others, kSingle, 75.0, {1.5, 12000.0}, {12277.0, 0.5}, true).Refused);
}

TEST(CalibrateStep, CharacterisationRefusesAnImplausibleConstant) {
    CalibrationPoints points;
    // Estimate 51.87 * 500 / 50 = 518.7: above 400.
    const CalibrateStep step =
        ComputeCalibrateStep(points, kSingle, 500.0, {50.0, 12000.0}, {12277.0, 51.87}, true);
    ASSERT_TRUE(step.Refused);
    EXPECT_EQ(step.Refusal.Message,
              "Calibration test results in invalid coeficient.  Please cancel this dialog, verify "
              "your hardware setup, and restart the calibration");
    EXPECT_EQ(points.All().size(), 1u);
}

TEST(CalibrateStep, ARefusedConstantKeepsTheDivisorDerivedBeforeIt) {
    // Levels of 50 and 75 ohms labelled 500 and 750: the same divisor, ten
    // times the constant.
    CalibrationPoints points;
    const ModeCalibration current{12277.0, 51.87};
    const double l50 = LevelFor(50.0, 12410.0, 50.9);
    const double l75 = LevelFor(75.0, 12410.0, 50.9);
    EXPECT_TRUE(ComputeCalibrateStep(points, kSingle, 500.0, {50.0, l50}, current, true).Refused);
    const CalibrateStep step =
        ComputeCalibrateStep(points, kSingle, 750.0, {75.0, l75}, current, true);
    EXPECT_TRUE(step.Refused);
    EXPECT_EQ(step.Refusal.Message.substr(0, 44), "Calibration test results in invalid coeficie");
    EXPECT_TRUE(step.DivisorDerived);
    EXPECT_NEAR(step.Values.Divisor, 12410.0, 1e-6);
}

TEST(CalibrateStep, DivisorThatIsNoLevelIsRefused) {
    CalibrationPoints points;
    const ModeCalibration current{12277.0, 51.87};
    ASSERT_FALSE(
        ComputeCalibrateStep(points, kSingle, 50.0, {50.0, 12000.0}, current, true).Refused);
    // 100 ohms at exactly half the level: Ki x Lj = Kj x Li, the pair has no divisor.
    const CalibrateStep step =
        ComputeCalibrateStep(points, kSingle, 100.0, {100.0, 24000.0}, current, true);
    EXPECT_TRUE(step.Refused);
    EXPECT_FALSE(step.DivisorDerived);
    // A zero mean in normal mode makes no estimate either.
    CalibrationPoints normal;
    EXPECT_TRUE(ComputeCalibrateStep(normal, kSingle, 50.0, {0.0, 0.0}, current, false).Refused);
    EXPECT_TRUE(normal.All().empty());
}

// An operator's station refuses, before a point is made, a measurement that
// no airline gives (a short, an open) and a constant that is no impedance.
TEST(CalibrateStep, EveryStationRefusesImpossibleResults) {
    const ModeCalibration current{12277.0, 51.87};
    struct Case {
        double measured;
        ModeCalibration calibration;
        const char* message;
    };
    const Case cases[] = {
        {0.2565, current, kInvalidCalibrationTestText},  // a short: constant 10,110
        {1500.0, current, kInvalidCalibrationTestText},  // an open
        {51.0, {12277.0, -51.87}, kInvalidCoefficientText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.measured);
        CalibrationPoints points;
        const CalibrateStep step = ComputeCalibrateStep(
            points, kSingle, 50.0, {c.measured, 12000.0}, c.calibration, false);
        EXPECT_TRUE(step.Refused);
        EXPECT_EQ(step.Refusal.Message, c.message);
    }
}

TEST(CalibrateStep, OnlyTheSelectedModesPointsCount) {
    CalibrationPoints points;
    const ModeCalibration single{12410.0, 50.9};
    ASSERT_FALSE(ComputeCalibrateStep(points, kDifferential, 100.0, {104.0, 23000.0},
                                      {23310.0, 104.6}, false)
                     .Refused);
    const CalibrateStep step =
        ComputeCalibrateStep(points, kSingle, 50.0, {51.0, 12300.0}, single, false);
    EXPECT_DOUBLE_EQ(step.Values.Constant, 50.9 * 50.0 / 51.0);
}

}  // namespace
}  // namespace orvik
