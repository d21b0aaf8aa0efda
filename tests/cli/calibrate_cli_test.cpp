// orvik-cli calibrate on the simulated instrument: what a calibration saved
// into the simulated store does to the next start's measurements, and the
// refusals that leave the store untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/c_numbers.h"
#include "cli_run.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::CliRun;
using testing::ReadFile;
using testing::RunTool;
using testing::TemporaryFolder;

std::string Text(double ohms) {
    return FormatC("%g", ohms);
}

// The number after the `n`th occurrence of "key": in a JSON text.
double NumberAfter(const std::string& json, const std::string& key, int n = 1) {
    std::size_t at = 0;
    for (int i = 0; i < n; ++i) {
        at = json.find("\"" + key + "\":", at == 0 ? 0 : at + 1);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no " << key << " in " << json;
            return std::nan("");
        }
    }
    return std::strtod(json.c_str() + json.find(':', at) + 1, nullptr);
}

class CalibrateCli : public ::testing::Test {
  protected:
    void SetUp() override {
        // Acquisitions leave their diagnostic dump in the current directory.
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    CliRun Calibrate(std::vector<std::string> options) {
        options.insert(options.begin(), {"calibrate", "--simulate", "--sim-store", store});
        return RunTool(options);
    }
    // A restarted program with the same store measures a uniform coupon.
    double Measure(const std::string& mode, double ohms) {
        const CliRun run = RunTool({"measure", "--simulate", "--sim-store", store, "--mode", mode,
                                    "--coupon", Text(ohms)});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return NumberAfter(run.out, "average");
    }

    TemporaryFolder folder;
    std::filesystem::path previous;
    std::string store = folder.File("mv300.store");
};

TEST_F(CalibrateCli, ResetAndSaveLeaveTheInstrumentMeasurablyOff) {
    const CliRun run = Calibrate({"--characterize", "--reset", "--save"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(NumberAfter(run.out, "divisor_single", 2), 26100.0);
    EXPECT_EQ(NumberAfter(run.out, "constant_differential", 2), 76.0);
    EXPECT_GT(std::fabs(Measure("single", 50.0) - 50.0), 0.25);
}

TEST_F(CalibrateCli, CharacterisationWithTwoAirlinesBringsCouponsBack) {
    const struct {
        const char* mode;
        double first, second;
        double firstTolerance, secondTolerance;
    } cases[] = {{"single", 50.0, 75.0, 0.003, 0.005}, {"differential", 100.0, 85.0, 0.003, 0.005}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(Calibrate({"--mode", c.mode, "--characterize", "--reset", "--save"}).exitCode, 0);
        const CliRun run =
            Calibrate({"--mode", c.mode, "--characterize", "--airline", Text(c.first) + "@4",
                       "--airline", Text(c.second) + "@4", "--verify", Text(c.first) + "@4",
                       "--operator", "Jane", "--save"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(NumberAfter(run.out, "known", 1), c.first);
        EXPECT_EQ(NumberAfter(run.out, "known", 2), c.second);
        EXPECT_NE(run.out.find("\"last_operator\": \"Jane\""), std::string::npos);
        EXPECT_NEAR(NumberAfter(run.out, "verified"), c.first, c.first * c.firstTolerance);
        EXPECT_NEAR(Measure(c.mode, c.first), c.first, c.first * c.firstTolerance);
        EXPECT_NEAR(Measure(c.mode, c.second), c.second, c.second * c.secondTolerance);
    }
}

TEST_F(CalibrateCli, WithoutSaveTheStoreIsUntouched) {
    ASSERT_EQ(Calibrate({}).exitCode, 0);
    const std::vector<std::uint8_t> before = ReadFile(store);
    const CliRun run = Calibrate({"--characterize", "--reset", "--airline", "50@4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(store), before);
    EXPECT_NE(NumberAfter(run.out, "constant_single", 1),
              NumberAfter(run.out, "constant_single", 2));
    EXPECT_NE(run.out.find("\"verified\": null"), std::string::npos);
}

TEST_F(CalibrateCli, RefusalsExitOneAndSaveNothing) {
    ASSERT_EQ(Calibrate({}).exitCode, 0);
    const std::vector<std::uint8_t> before = ReadFile(store);
    CliRun run = Calibrate({"--airline", "50@1", "--save"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("must be from 1.02 to"), std::string::npos) << run.err;
    // Half an ohm is no airline any station believes.
    run = Calibrate({"--characterize", "--airline", "0.5@4", "--save"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("must be from 1 to 1000 ohms"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(store), before);
}

TEST_F(CalibrateCli, BadUsage) {
    EXPECT_EQ(Calibrate({"--reset"}).exitCode, 2);  // only on a characterisation station
    EXPECT_EQ(Calibrate({"--airline", "50"}).exitCode, 2);
    EXPECT_EQ(Calibrate({"--airline", "fifty@4"}).exitCode, 2);
    EXPECT_EQ(Calibrate({"--mode", "both"}).exitCode, 2);
    EXPECT_EQ(RunTool({"calibrate", "--sim-store", store}).exitCode, 2);
}

}  // namespace
}  // namespace orvik
