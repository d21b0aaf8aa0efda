// orvik-cli measure: the instrument started as the program starts it, with
// its driver requests logged.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "cli/measure_command.h"
#include "simulator/physics_factory.h"
#include "test_files.h"

namespace orvik {
namespace {

// Runs the command with standard output captured; the exit status as the tool gives it.
int Measure(const cli::Arguments& arguments, std::string& printed) {
    std::ostringstream captured;
    std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
    int status = 0;
    try {
        status = cli::RunMeasure(arguments);
    } catch (const cli::CommandFailure&) {
        status = 1;
    } catch (const cli::UsageError&) {
        status = 2;
    }
    std::cout.rdbuf(old);
    printed = captured.str();
    return status;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(MeasureCommand, StartsTheSimulatedInstrumentAndLogsEveryRequest) {
    testing::TemporaryFolder folder;
    const std::string log = folder.File("io.log");
    std::string printed;
    // No measurement yet: the start-up findings, then a failure.
    EXPECT_EQ(Measure({"--simulate", "--io-log", log}, printed), 1);
    EXPECT_NE(printed.find("\"program_image\": \"loaded\""), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"fpga_image\": \"loaded\""), std::string::npos);
    EXPECT_NE(printed.find("\"calibrated\": true"), std::string::npos);

    const std::vector<std::string> lines = Lines(log);
    ASSERT_GT(lines.size(), 100u);
    const std::regex shape("0x[0-9a-f]{6} in=[0-9a-f]* out=[0-9a-f]* ok=[01]");
    int pageOneReads = 0;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, shape)) << line;
        // The command sits behind the 38-byte header of its buffered request.
        if (line.rfind("0x220024 in=", 0) == 0 && line.compare(12 + 76, 6, "c30001") == 0) {
            ++pageOneReads;
        }
    }
    EXPECT_EQ(pageOneReads, 1);
}

TEST(MeasureCommand, NamedStoreIsCreatedAndKept) {
    testing::TemporaryFolder folder;
    const std::string store = folder.File("mv300.store");
    std::string printed;
    EXPECT_EQ(Measure({"--simulate", "--sim-store", store}, printed), 1);
    EXPECT_EQ(testing::ReadFile(store).size(), 256u * 32u);
    const int factoryEnd = sim::PhysicsFactoryValues(MeasurementMode::SingleEnded).EndOfCable;
    EXPECT_NE(printed.find("\"end_of_cable\": " + std::to_string(factoryEnd)), std::string::npos)
        << printed;
}

TEST(MeasureCommand, WithoutTheSimulatorNoInstrumentIsFound) {
    std::string printed;
    EXPECT_EQ(Measure({}, printed), 1);
    EXPECT_TRUE(printed.empty());
}

TEST(MeasureCommand, BadUsage) {
    std::string printed;
    EXPECT_EQ(Measure({"--simulate", "--mode", "triple"}, printed), 2);
    EXPECT_EQ(Measure({"--simulate", "--criteria", "criteria.dat"}, printed), 2);
    EXPECT_EQ(Measure({"--simulate", "--bogus"}, printed), 2);
    EXPECT_EQ(Measure({"--sim-store", "x"}, printed), 2);
    EXPECT_EQ(Measure({"--simulate", "--io-log"}, printed), 2);
}

}  // namespace
}  // namespace orvik
