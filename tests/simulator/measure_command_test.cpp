// orvik-cli measure: one test on the simulated instrument, started as the
// program starts it, with its driver requests logged.
#include "cli/measure_command.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/json_writer.h"
#include "collection/trace_record.h"
#include "criteria/criteria_library.h"
#include "instrument/store_layout.h"
#include "request_log_line.h"
#include "test_files.h"

namespace orvik {
namespace {

// Runs the command in a fresh current directory, where it leaves its dump;
// standard output captured, the exit status as the tool gives it.
class MeasureCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    int Measure(const cli::Arguments& arguments) {
        std::ostringstream captured;
        std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
        ::testing::internal::CaptureStderr();
        int status = 0;
        failure.clear();
        try {
            status = cli::RunMeasure(arguments);
        } catch (const cli::CommandFailure& error) {
            failure = error.what();
            status = 1;
        } catch (const cli::UsageError& error) {
            failure = error.what();
            status = 2;
        }
        errors = ::testing::internal::GetCapturedStderr();
        std::cout.rdbuf(old);
        printed = captured.str();
        return status;
    }
    double Number(const std::string& key) const {
        const std::regex pattern("\"" + key + "\": (-?[0-9.e+-]+)");
        std::smatch match;
        if (!std::regex_search(printed, match, pattern)) {
            ADD_FAILURE() << key << " not in " << printed.substr(0, 300);
            return std::numeric_limits<double>::quiet_NaN();
        }
        return std::stod(match[1]);
    }
    int SampleCount() const {
        const std::regex pair("\\n +\\[[-0-9.e]+, [-0-9.e+]+\\]");
        return static_cast<int>(
            std::distance(std::sregex_iterator(printed.begin(), printed.end(), pair), {}));
    }

    testing::TemporaryFolder folder;
    std::filesystem::path previous;
    std::string printed;
    std::string errors;
    std::string failure;
};

TEST_F(MeasureCommand, MeasuresAUniformCouponWithTheDefaultCriterion) {
    ASSERT_EQ(Measure({"--simulate", "--coupon", "50"}), 0) << failure;
    EXPECT_EQ(printed.rfind("{\n  \"average\": ", 0), 0u) << printed.substr(0, 200);
    EXPECT_NEAR(Number("average"), 50.0, 0.5);
    EXPECT_LT(Number("deviation"), 0.1);
    EXPECT_GT(Number("maximum"), Number("minimum"));
    EXPECT_NE(printed.find("\"passed\": true"), std::string::npos);
    EXPECT_EQ(SampleCount(), 750);
    EXPECT_NE(printed.find("[0, "), std::string::npos);
    EXPECT_NE(printed.find("[4, "), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder.File("TDR_Data.csv")));

    // The default differential criterion is 100 ohms.
    ASSERT_EQ(Measure({"--simulate", "--coupon", "100", "--mode", "differential"}), 0);
    EXPECT_NEAR(Number("average"), 100.0, 1.0);
    EXPECT_NE(printed.find("\"passed\": true"), std::string::npos);
    // A 50-ohm coupon on the differential cables fails it.
    ASSERT_EQ(Measure({"--simulate", "--coupon", "50", "--mode", "differential"}), 0);
    EXPECT_NE(printed.find("\"passed\": false"), std::string::npos);
}

TEST_F(MeasureCommand, NamedCriterionDecidesTheModeAndTheVerdict) {
    CriteriaLibrary library;
    Criterion pair;
    pair.Name = "Pair 90";
    pair.TargetImpedance = 90.0;
    pair.DoubleEnded = 1;
    pair.RecomputeLimits();
    library.AddCriterion(pair);
    ASSERT_TRUE(library.Save(folder.File("lib.dat")).Ok());

    ASSERT_EQ(Measure({"--simulate", "--coupon", "95", "--criteria", "lib.dat", "--criterion",
                       "Pair 90"}),
              0)
        << failure;
    EXPECT_NEAR(Number("average"), 95.0, 1.0);
    EXPECT_NE(printed.find("\"passed\": true"), std::string::npos);

    EXPECT_EQ(Measure({"--simulate", "--mode", "single", "--criteria", "lib.dat", "--criterion",
                       "Pair 90"}),
              2);
    EXPECT_EQ(Measure({"--simulate", "--criteria", "lib.dat", "--criterion", "Pair 100"}), 1);
    EXPECT_EQ(failure, "no criterion named Pair 100 in lib.dat");
}

TEST_F(MeasureCommand, LogsEveryDriverRequest) {
    ASSERT_EQ(Measure({"--simulate", "--io-log", "io.log"}), 0) << failure;
    std::ifstream in(folder.File("io.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_GT(lines.size(), 100u);
    int pageOneReads = 0;
    int acquireBlocks = 0;
    for (const std::string& line : lines) {
        ASSERT_TRUE(testing::ParseRequestLogLine(line)) << line;
        // The command sits behind the 38-byte header of its buffered request.
        if (line.rfind("0x220024 in=", 0) == 0 && line.compare(12 + 76, 6, "c30001") == 0) {
            ++pageOneReads;
        }
        if (line.rfind("0x220024 in=", 0) == 0 && line.compare(12 + 76, 6, "a50004") == 0) {
            ++acquireBlocks;
        }
    }
    EXPECT_EQ(pageOneReads, 1);
    EXPECT_EQ(acquireBlocks, 8);
}

TEST_F(MeasureCommand, NamedStoreIsCreatedAndItsCalibrationUsed) {
    ASSERT_EQ(Measure({"--simulate", "--sim-store", "mv300.store", "--coupon", "50"}), 0);
    std::vector<std::uint8_t> store = testing::ReadFile(folder.File("mv300.store"));
    ASSERT_EQ(store.size(), 256u * 32u);
    const double measured = Number("average");

    // Twice the calibration constant doubles every impedance.
    StorePage page;
    std::copy_n(store.begin() + 2 * 32, 32, page.begin());
    SetPageDouble(page, 2, 2 * PageDouble(page, 2));
    std::copy(page.begin(), page.end(), store.begin() + 2 * 32);
    testing::WriteFile(folder.File("mv300.store"), store);
    ASSERT_EQ(Measure({"--simulate", "--sim-store", "mv300.store", "--coupon", "50"}), 0);
    EXPECT_NEAR(Number("average"), 2 * measured, 0.1);
}

// Without --coupon the cables carry what the program's simulator carries, so
// that both programs measure the same thing.
TEST_F(MeasureCommand, CablesCarryTheProgramsDefaultCoupons) {
    ASSERT_EQ(Measure({"--simulate"}), 0) << failure;
    EXPECT_NEAR(Number("average"), 50.0, 0.5);
    EXPECT_NE(printed.find("\"passed\": true"), std::string::npos);
    ASSERT_EQ(Measure({"--simulate", "--mode", "differential"}), 0) << failure;
    EXPECT_NEAR(Number("average"), 100.0, 1.0);
    EXPECT_NE(printed.find("\"passed\": true"), std::string::npos);
}

TEST_F(MeasureCommand, MissingCriteriaFileIsReportedAsSuch) {
    EXPECT_EQ(Measure({"--simulate", "--criteria", "absent.dat", "--criterion", "SE 50 ohm"}), 1);
    EXPECT_EQ(failure, "no criteria library absent.dat: the file does not exist");
    EXPECT_TRUE(printed.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.File("absent.dat")));
}

// A named store is the operator's file: anything that is not a store is
// refused and left as it was, and a store that cannot be kept is reported.
TEST_F(MeasureCommand, StoreFileThatIsNotAStoreIsRefusedUntouched) {
    const std::vector<std::uint8_t> notes = {'k', 'e', 'e', 'p', '\n'};
    testing::WriteFile(folder.File("notes.txt"), notes);
    EXPECT_EQ(Measure({"--simulate", "--sim-store", "notes.txt"}), 1);
    EXPECT_NE(failure.find("notes.txt is not a simulated MV300 store"), std::string::npos)
        << failure;
    EXPECT_EQ(testing::ReadFile(folder.File("notes.txt")), notes);
    EXPECT_TRUE(printed.empty());

    EXPECT_EQ(Measure({"--simulate", "--sim-store", "no-such-folder/mv300.store"}), 1);
    EXPECT_NE(failure.find("cannot be kept"), std::string::npos) << failure;
    EXPECT_FALSE(std::filesystem::exists(folder.File("no-such-folder")));

    std::filesystem::create_directory(folder.File("a-folder"));
    EXPECT_EQ(Measure({"--simulate", "--sim-store", "a-folder"}), 1);
    EXPECT_NE(failure.find("cannot be read"), std::string::npos) << failure;
    EXPECT_TRUE(std::filesystem::is_empty(folder.File("a-folder")));
}

TEST_F(MeasureCommand, WithoutTheSimulatorNoInstrumentIsFound) {
    EXPECT_EQ(Measure({}), 1);
    EXPECT_TRUE(printed.empty());
    EXPECT_EQ(failure, "Device not found: Unable to open the TDR device");
}

TEST_F(MeasureCommand, BadUsage) {
    EXPECT_EQ(Measure({"--simulate", "--mode", "triple"}), 2);
    EXPECT_EQ(Measure({"--simulate", "--criteria", "criteria.dat"}), 2);
    EXPECT_EQ(Measure({"--simulate", "--bogus"}), 2);
    EXPECT_EQ(Measure({"--sim-store", "x"}), 2);
    EXPECT_EQ(Measure({"--coupon", "50"}), 2);
    EXPECT_EQ(Measure({"--simulate", "--io-log"}), 2);
    EXPECT_EQ(Measure({"--simulate", "--coupon", "50@0-4,60@5-6"}), 2);
    EXPECT_NE(failure.find("--coupon 50@0-4,60@5-6: "), std::string::npos) << failure;
    EXPECT_TRUE(printed.empty());
}

TEST(MeasurementJson, ValuesThatAreNotNumbersPrintAsNull) {
    // An open end that reflects the whole step converts to an infinite impedance.
    TraceRecord record;
    const double infinite = std::numeric_limits<double>::infinity();
    const std::vector<double> values(750, infinite);
    Criterion criterion;
    record.FillFromAcquisition(&criterion, values, 0);
    JsonWriter json;
    cli::WriteMeasurementJson(json, record);
    const std::string& text = json.Text();
    EXPECT_NE(text.find("\"average\": null"), std::string::npos) << text.substr(0, 200);
    EXPECT_NE(text.find("\"deviation\": null"), std::string::npos);
    EXPECT_NE(text.find("\"maximum\": null"), std::string::npos);
    EXPECT_NE(text.find("\"minimum\": null"), std::string::npos);
    EXPECT_NE(text.find("\"passed\": false"), std::string::npos);
    EXPECT_NE(text.find("[0, null]"), std::string::npos);
}

}  // namespace
}  // namespace orvik
