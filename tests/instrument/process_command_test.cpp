#include "cli/process_command.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "instrument/process_record.h"
#include "test_files.h"

namespace orvik::cli {
namespace {

// Runs the command in a fresh current directory, where it leaves its dump.
class ProcessCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    void WriteText(const std::string& name, const std::string& text) {
        std::ofstream(folder.File(name), std::ios::binary) << text;
    }
    std::string WriteRecord(const std::vector<double>& samples) {
        std::ostringstream text;
        for (double sample : samples)
            text << sample << '\n';
        WriteText("raw.txt", text.str());
        return "raw.txt";
    }
    int Run(const Arguments& arguments) {
        ::testing::internal::CaptureStdout();
        int code = -1;
        try {
            code = RunProcess(arguments);
        } catch (...) {
            output = ::testing::internal::GetCapturedStdout();
            throw;
        }
        output = ::testing::internal::GetCapturedStdout();
        return code;
    }
    std::vector<std::string> OutputLines() const {
        std::vector<std::string> lines;
        std::istringstream in(output);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }

    orvik::testing::TemporaryFolder folder;
    std::filesystem::path previous;
    std::string output;
};

std::vector<double> SampleRecord() {
    // Whole numbers, as the instrument sends them, so that the text holds them exactly.
    std::vector<double> samples(8192);
    for (int t = 0; t < 8192; ++t) {
        const double reflection = t > 3100 ? 300.0 * std::tanh((t - 3100) / 30.0) : 0.0;
        samples[t] = std::round((t < 1100 ? -12000 : 400) + reflection + (t * 7919 % 13) - 6);
    }
    return samples;
}

std::string Line(int index, const AcquisitionBuffers& b) {
    char text[256];
    std::snprintf(text, sizeof text, "%d,%.17g,%.17g,%.17g,%.17g,%.17g", index, b.Raw[index],
                  b.Derivative[index], b.DerivativeCopy[index], b.Level[index], b.Impedance[index]);
    return text;
}

TEST_F(ProcessCommand, PrintsWhatTheAcquisitionPathComputes) {
    const std::vector<double> samples = SampleRecord();
    const std::string raw = WriteRecord(samples);
    ASSERT_EQ(Run({"--mode", "single", raw}), 0);

    auto expected = std::make_unique<AcquisitionBuffers>();
    std::copy(samples.begin(), samples.end(), expected->Raw.begin());
    ProcessRecord(*expected, CalibrationSet(), ResponseKernels(), MeasurementMode::SingleEnded,
                  6000, Derivative::Smoothed, "");
    const auto lines = OutputLines();
    ASSERT_EQ(lines.size(), 6001u);
    EXPECT_EQ(lines[0], "index,raw,derivative,derivative_copy,level,impedance");
    for (int i : {0, 5, 2974, 2975, 3075, 3824, 5999}) {
        EXPECT_EQ(lines[i + 1], Line(i, *expected));
    }
    EXPECT_TRUE(std::filesystem::exists(folder.File("TDR_Data.csv")))
        << "the dump lands in the current directory";
}

TEST_F(ProcessCommand, TakesTheCalibrationAndKernelGiven) {
    const std::vector<double> samples = SampleRecord();
    const std::string raw = WriteRecord(samples);
    std::ostringstream kernelText;
    std::vector<double> kernel(60);
    for (int k = 0; k < 60; ++k) {
        kernel[k] = 5.0 + k % 9;
        kernelText << kernel[k] << "\r\n";
    }
    WriteText("kernel.txt", kernelText.str());
    ASSERT_EQ(Run({"--mode=differential", "--eoc", "3100", "--divisor", "20000", "--constant",
                   "95.5", "--kernel", "kernel.txt", "--raw-derivative", raw}),
              0);

    CalibrationSet calibration;
    calibration.SetValues(MeasurementMode::Differential, {3100, 20000.0, 95.5});
    ResponseKernels kernels;
    ASSERT_TRUE(kernels.Differential.SetStored(kernel));
    auto expected = std::make_unique<AcquisitionBuffers>();
    std::copy(samples.begin(), samples.end(), expected->Raw.begin());
    ProcessRecord(*expected, calibration, kernels, MeasurementMode::Differential, 6000,
                  Derivative::Raw, "");
    const auto lines = OutputLines();
    ASSERT_EQ(lines.size(), 6001u);
    for (int i : {10, 3000, 3100, 4000}) {
        EXPECT_EQ(lines[i + 1], Line(i, *expected));
    }
}

TEST_F(ProcessCommand, InfiniteImpedancePrintsAsInf) {
    std::vector<double> samples(8192, 100.0);
    samples[0] = 0.0;
    const std::string raw = WriteRecord(samples);
    ASSERT_EQ(Run({"--mode", "single", "--divisor", "50", raw}), 0);
    EXPECT_EQ(OutputLines()[3076], "3075,100,0,0,100,inf");
}

TEST_F(ProcessCommand, RefusesBadUsage) {
    const std::string raw = WriteRecord({1, 2, 3});
    const Arguments bad[] = {{raw},
                             {"--mode", "both", raw},
                             {"--mode", "single"},
                             {"--mode", "single", "--eoc", "200", raw},
                             {"--mode", "single", "--eoc", "5001", raw},
                             {"--mode", "single", "--eoc", "3.5", raw},
                             {"--mode", "single", "--divisor", "x", raw},
                             {"--mode", "single", "--frobnicate", raw},
                             {"--mode", "single", raw, raw}};
    for (const Arguments& arguments : bad) {
        EXPECT_THROW(Run(arguments), UsageError) << ::testing::PrintToString(arguments);
    }
}

TEST_F(ProcessCommand, FailsOnFilesItCannotUse) {
    WriteText("words.txt", "12\nseven\n");
    WriteText("gap.txt", "12\n\n13\n");
    std::string many;
    for (int i = 0; i < 9001; ++i)
        many += "1\n";
    WriteText("many.txt", many);
    WriteText("short-kernel.txt", "1\n2\n3\n");
    const std::string raw = WriteRecord({1, 2, 3});
    EXPECT_THROW(Run({"--mode", "single", "absent.txt"}), CommandFailure);
    EXPECT_THROW(Run({"--mode", "single", "words.txt"}), CommandFailure);
    EXPECT_THROW(Run({"--mode", "single", "gap.txt"}), CommandFailure);
    EXPECT_THROW(Run({"--mode", "single", "many.txt"}), CommandFailure);
    EXPECT_THROW(Run({"--mode", "single", "--kernel", "short-kernel.txt", raw}), CommandFailure);
    // Trailing blank lines and a missing final line feed are fine.
    WriteText("ending.txt", "5\n6\n7");
    EXPECT_EQ(Run({"--mode", "single", "ending.txt"}), 0);
    WriteText("trailing.txt", "5\n6\n\n\n");
    EXPECT_EQ(Run({"--mode", "single", "trailing.txt"}), 0);
}

// Numbers made from nothing are not a result: an empty record and a divisor
// of 0 are refused before anything is processed or dumped.
TEST_F(ProcessCommand, RefusesAnEmptyRecordAndUnusableCalibration) {
    WriteText("empty.txt", "");
    WriteText("blank.txt", "\n\n");
    const std::string raw = WriteRecord(SampleRecord());
    for (const char* empty : {"empty.txt", "blank.txt"}) {
        try {
            Run({"--mode", "single", empty});
            ADD_FAILURE() << empty << " was processed";
        } catch (const CommandFailure& failure) {
            EXPECT_EQ(std::string(failure.what()), std::string(empty) + " holds no samples");
        }
    }
    EXPECT_THROW(Run({"--mode", "single", "--divisor", "0", raw}), CommandFailure);
    EXPECT_THROW(Run({"--mode", "single", "--divisor=-0.0", raw}), CommandFailure);
    for (const char* notFinite : {"nan", "inf", "-inf", "1e999"}) {
        EXPECT_THROW(Run({"--mode", "single", "--divisor", notFinite, raw}), UsageError)
            << notFinite;
        EXPECT_THROW(Run({"--mode", "single", "--constant", notFinite, raw}), UsageError)
            << notFinite;
    }
    EXPECT_TRUE(output.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.File("TDR_Data.csv")));
}

}  // namespace
}  // namespace orvik::cli
