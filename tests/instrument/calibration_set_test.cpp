#include "instrument/calibration_set.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

TEST(CalibrationSet, StartsWithTheBuiltInValuesOfEachMode) {
    const CalibrationSet calibration;
    EXPECT_EQ(calibration.EndOfCable(kSingle), 3075);
    EXPECT_EQ(calibration.Divisor(kSingle), 12277.0);
    EXPECT_EQ(calibration.CalibrationConstant(kSingle), 51.87);
    EXPECT_EQ(calibration.EndOfCable(kDifferential), 3280);
    EXPECT_EQ(calibration.Divisor(kDifferential), 23526.0);
    EXPECT_EQ(calibration.CalibrationConstant(kDifferential), 108.2);
    EXPECT_EQ(calibration.LastOperator(), "");
    EXPECT_EQ(calibration.LastDate(), "");
}

TEST(CalibrationSet, SettersChangeOnlyTheirModeAndValue) {
    CalibrationSet calibration;
    calibration.SetDivisor(kDifferential, 20000.5);
    calibration.SetCalibrationConstant(kSingle, 49.5);
    calibration.SetEndOfCable(kSingle, 2990);
    EXPECT_EQ(calibration.Divisor(kDifferential), 20000.5);
    EXPECT_EQ(calibration.Divisor(kSingle), 12277.0);
    EXPECT_EQ(calibration.CalibrationConstant(kSingle), 49.5);
    EXPECT_EQ(calibration.CalibrationConstant(kDifferential), 108.2);
    EXPECT_EQ(calibration.EndOfCable(kSingle), 2990);
    EXPECT_EQ(calibration.EndOfCable(kDifferential), 3280);
}

TEST(CalibrationSet, FactoryResetKeepsTheEndOfCableIndexes) {
    CalibrationSet calibration;
    calibration.SetEndOfCable(kSingle, 3001);
    calibration.SetEndOfCable(kDifferential, 3302);
    calibration.SetLastOperator("Ann");
    calibration.ResetToFactory();
    EXPECT_EQ(calibration.Divisor(kSingle), 26100.0);
    EXPECT_EQ(calibration.Divisor(kDifferential), 23700.0);
    EXPECT_EQ(calibration.CalibrationConstant(kSingle), 46.25);
    EXPECT_EQ(calibration.CalibrationConstant(kDifferential), 76.0);
    EXPECT_EQ(calibration.EndOfCable(kSingle), 3001);
    EXPECT_EQ(calibration.EndOfCable(kDifferential), 3302);
    EXPECT_EQ(calibration.LastOperator(), "Ann");
}

TEST(CalibrationSet, EndOfCableStaysWhereEveryArrayIndexIsValid) {
    CalibrationSet calibration;
    calibration.SetEndOfCable(kSingle, 201);
    EXPECT_EQ(calibration.EndOfCable(kSingle), 201);
    calibration.SetEndOfCable(kSingle, 5000);
    EXPECT_EQ(calibration.EndOfCable(kSingle), 5000);
    calibration.SetEndOfCable(kSingle, 200);
    EXPECT_EQ(calibration.EndOfCable(kSingle), 201);
    calibration.SetEndOfCable(kDifferential, -7);
    EXPECT_EQ(calibration.EndOfCable(kDifferential), 201);
    calibration.SetValues(kDifferential, {2147483647, 1.0, 2.0});
    EXPECT_EQ(calibration.Values(kDifferential), (CalibrationSet::ModeValues{5000, 1.0, 2.0}));
}

TEST(CalibrationSet, LastCalibrationTextsHoldAtMost32Characters) {
    CalibrationSet calibration;
    const std::string longName(40, 'x');
    calibration.SetLastOperator(longName);
    calibration.SetLastDate("Tue Dec 08 03:47:35 2026\n");
    EXPECT_EQ(calibration.LastOperator(), std::string(32, 'x'));
    EXPECT_EQ(calibration.LastDate(), "Tue Dec 08 03:47:35 2026\n");
    calibration.SetLastOperator(std::string(32, 'y'));
    EXPECT_EQ(calibration.LastOperator().size(), 32u);
}

TEST(CharacterizeMode, LooksForTheWordAnywhereInTheCommandLine) {
    EXPECT_TRUE(CharacterizeModeFromCommandLine("orvik Characterize"));
    EXPECT_TRUE(CharacterizeModeFromCommandLine("/opt/Characterize/orvik"));
    EXPECT_TRUE(CharacterizeModeFromCommandLine("orvik --mode=Characterized"));
    EXPECT_FALSE(CharacterizeModeFromCommandLine("orvik characterize"));
    EXPECT_FALSE(CharacterizeModeFromCommandLine("orvik CHARACTERIZE"));
    EXPECT_FALSE(CharacterizeModeFromCommandLine(""));

    const char* with[] = {"/usr/bin/orvik", "file.tdr", "Characterize"};
    const char* without[] = {"/usr/bin/orvik", "Charac", "terize"};
    EXPECT_TRUE(CharacterizeModeFromArguments(3, with));
    EXPECT_FALSE(CharacterizeModeFromArguments(3, without));
    EXPECT_FALSE(CharacterizeModeFromArguments(0, nullptr));
}

}  // namespace
}  // namespace orvik
