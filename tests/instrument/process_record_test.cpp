#include "instrument/process_record.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/file_store.h"
#include "test_files.h"

namespace orvik {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kSmoothed = Derivative::Smoothed;
constexpr auto kRaw = Derivative::Raw;
constexpr auto kDifferential = MeasurementMode::Differential;

// The processing written out step by step, one loop per step, exactly as the
// acquisition documents it (including the deconvolution's level update over
// the whole rest of the record at every step). The program's version is
// faster; both must agree.
struct LiteralProcessing {
    std::vector<double> raw, derivative, copy, level, impedance, scratch;

    explicit LiteralProcessing(const AcquisitionBuffers& b)
        : raw(b.Raw),
          derivative(b.Derivative),
          copy(b.DerivativeCopy),
          level(b.Level),
          impedance(b.Impedance),
          scratch(b.Scratch) {}

    void Run(const CalibrationSet& calibration, std::span<const double> K, MeasurementMode mode,
             int N, Derivative kind) {
        const bool differential = IsDifferential(mode);
        const int e = calibration.EndOfCable(mode);
        const int j0 = e - 100;
        const int n = static_cast<int>(K.size());
        for (int i = 1; i < N; ++i)
            raw[i] = raw[i] - raw[0];
        raw[0] = 0;
        double S = 0;
        for (int k = 0; k < n; ++k)
            S += K[k];
        for (int c = 5; c <= N - 6; ++c)
            derivative[c] = (raw[c + 5] - raw[c - 5]) * 0.1;
        if (kind == Derivative::Smoothed) {
            for (int p = 0; 4 + 2 * p < (differential ? 15 : 11); ++p) {
                const int h = 4 + 2 * p;
                for (int k = h; k <= N - 1 - h; ++k)
                    scratch[k + 1] = (derivative[k - h] + derivative[k + h]) * 0.5;
                for (int c = h + 1; c <= N - 2 - h; ++c)
                    derivative[c] = (scratch[c - h] + scratch[c + h + 2]) * 0.5;
            }
        }
        for (int i = 0; i < N; ++i)
            copy[i] = derivative[i];
        double L0 = 0;
        for (int i = j0 - 101; i <= j0 - 2; ++i)
            L0 += raw[i];
        L0 /= 100;
        for (int i = 0; i < N; ++i)
            level[i] = L0;
        for (int i = 0; i < j0; ++i)
            derivative[i] = 0;
        for (int sweep = 0; sweep < 2; ++sweep) {
            for (int j = j0; j <= j0 + 999; ++j) {
                double g = 0;
                for (int k = 0; k < 50; ++k)
                    g += derivative[j + k] / K[k];
                g = g / 50;
                if (differential)
                    g *= 0.9;
                if (j < N)
                    for (int u = j; u < N; ++u)
                        level[u] = level[u] + g * S;
                for (int k = 0; k < n; ++k)
                    derivative[j + k] = derivative[j + k] - g * K[k];
            }
        }
        for (int k = 15; k <= N - 9; ++k)
            scratch[k + 1] = (level[k - 8] + level[k + 8]) * 0.5;
        for (int c = 16; c <= N - 8; ++c)
            level[c] = (scratch[c - 6] + scratch[c + 8]) * 0.5;
        for (int m = 0; m < N; ++m) {
            const double rho = level[m] / calibration.Divisor(mode) - 1;
            impedance[m] = std::fabs(calibration.CalibrationConstant(mode) * (1 + rho) / (1 - rho));
        }
    }
};

// A plausible record: a settled incident step, then a slow rise from the end
// of the cable with a few bumps, and noise.
void FillRandomRecord(AcquisitionBuffers& buffers, std::uint64_t seed, int endOfCable) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, 3.0);
    std::uniform_real_distribution<double> height(-800.0, 800.0);
    const double bumps[3] = {height(random), height(random), height(random)};
    buffers.ClearForAcquisition();
    for (int t = 0; t < kRecordSampleCount; ++t) {
        double value = t < 1000 ? -9000.0 : 3000.0;
        for (int b = 0; b < 3; ++b) {
            const double at = endOfCable + 150.0 * b;
            value += bumps[b] / (1.0 + std::exp(-(t - at) / 12.0));
        }
        buffers.Raw[t] = std::round(value + noise(random));
    }
}

double LargestDifference(const std::vector<double>& a, const std::vector<double>& b, int count) {
    double largest = 0.0;
    for (int i = 0; i < count; ++i) {
        if (std::isinf(a[i]) && a[i] == b[i])
            continue;
        largest = std::max(largest, std::fabs(a[i] - b[i]));
    }
    return largest;
}

struct Case {
    MeasurementMode mode;
    Derivative derivative;
    int storedKernelLength;  // 0: the built-in kernel
};

class AgainstLiteralProcessing : public ::testing::TestWithParam<Case> {};

TEST_P(AgainstLiteralProcessing, AgreesOnRandomRecords) {
    const Case& c = GetParam();
    CalibrationSet calibration;
    ResponseKernel kernel(c.mode);
    if (c.storedKernelLength > 0) {
        std::vector<double> stored(c.storedKernelLength);
        for (int k = 0; k < c.storedKernelLength; ++k) {
            stored[k] = 5.0 + 100.0 * std::exp(-std::pow((k - 30.0) / 25.0, 2));
        }
        ASSERT_TRUE(kernel.SetStored(stored));
    }
    auto buffers = std::make_unique<AcquisitionBuffers>();
    // Scratch left over from an earlier acquisition decides the ends.
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> stale(-50.0, 50.0);
    for (double& value : buffers->Scratch)
        value = stale(random);
    for (double& value : buffers->DerivativeCopy)
        value = stale(random);

    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        FillRandomRecord(*buffers, seed, calibration.EndOfCable(c.mode));
        LiteralProcessing literal(*buffers);
        literal.Run(calibration, kernel.Values(), c.mode, kProcessedSampleCount, c.derivative);
        ConvertRecord(*buffers, calibration, kernel, c.mode, kProcessedSampleCount, c.derivative);
        const int all = kAcquisitionLength;
        EXPECT_EQ(buffers->Raw, literal.raw);
        EXPECT_EQ(buffers->DerivativeCopy, literal.copy);
        EXPECT_LT(LargestDifference(buffers->Scratch, literal.scratch, all + 1), 1e-6);
        EXPECT_LT(LargestDifference(buffers->Derivative, literal.derivative, all), 1e-9);
        EXPECT_LT(LargestDifference(buffers->Level, literal.level, all), 1e-6);
        EXPECT_LT(LargestDifference(buffers->Impedance, literal.impedance, all), 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AgainstLiteralProcessing,
    ::testing::Values(Case{kSingle, kSmoothed, 0}, Case{kDifferential, kSmoothed, 0},
                      Case{kSingle, kRaw, 0}, Case{kDifferential, kRaw, 0},
                      Case{kSingle, kSmoothed, 50}, Case{kDifferential, kSmoothed, 350}),
    [](const auto& info) {
        return std::string(IsDifferential(info.param.mode) ? "Differential" : "SingleEnded") +
               (info.param.derivative == kRaw ? "RawDerivative" : "Smoothed") +
               (info.param.storedKernelLength
                    ? "Stored" + std::to_string(info.param.storedKernelLength)
                    : "BuiltIn");
    });

class ProcessRecordTest : public ::testing::Test {
  protected:
    std::unique_ptr<AcquisitionBuffers> buffers = std::make_unique<AcquisitionBuffers>();
    CalibrationSet calibration;
    ResponseKernels kernels;
};

TEST_F(ProcessRecordTest, AFlatRecordGivesZeroImpedance) {
    std::fill(buffers->Raw.begin(), buffers->Raw.begin() + kRecordSampleCount, 1234.0);
    ConvertRecord(*buffers, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Smoothed);
    for (int i = 0; i < 6000; ++i) {
        ASSERT_EQ(buffers->Derivative[i], 0.0) << i;
        ASSERT_EQ(buffers->Level[i], 0.0) << i;
        ASSERT_EQ(buffers->Impedance[i], 0.0) << i;
        ASSERT_EQ(buffers->Raw[i], 0.0) << i;
    }
    EXPECT_EQ(buffers->Raw[6000], 1234.0) << "entries past the count stay as received";
    EXPECT_EQ(buffers->Raw[8191], 1234.0);
}

TEST_F(ProcessRecordTest, TheBaselineIsTheMeanOf100SamplesBeforeTheDeconvolution) {
    // With the end of cable at 3075 the baseline is raw[2874 .. 2973]; a
    // record that holds 10 there and 0 elsewhere (but one far sample) gives
    // the level 10 everywhere before the deconvolution start.
    for (int i = 2874; i <= 2973; ++i)
        buffers->Raw[i] = 10.0;
    buffers->Raw[2873] = 1e6;
    buffers->Raw[2974] = 1e6;
    ConvertRecord(*buffers, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Raw);
    EXPECT_EQ(buffers->Level[2000], 10.0);
    EXPECT_EQ(buffers->Level[100], 10.0);
    for (int i = 0; i < 2975; ++i) {
        ASSERT_EQ(buffers->Derivative[i], 0.0) << "residual below the start is cleared";
    }
}

TEST_F(ProcessRecordTest, TheRawDerivativeIsTheTenSampleDifference) {
    for (int i = 0; i < kRecordSampleCount; ++i)
        buffers->Raw[i] = 0.5 * i * i;
    ConvertRecord(*buffers, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Raw);
    for (int c : {5, 100, 3000, 5994}) {
        EXPECT_DOUBLE_EQ(buffers->DerivativeCopy[c],
                         (0.5 * (c + 5) * (c + 5) - 0.5 * (c - 5) * (c - 5)) * 0.1);
    }
    EXPECT_EQ(buffers->DerivativeCopy[4], 0.0);
    EXPECT_EQ(buffers->DerivativeCopy[5995], 0.0);
}

TEST_F(ProcessRecordTest, SmoothingAveragesFourNeighboursInTheInterior) {
    // One pass (h = 4) on a spike of the difference: a linear ramp in raw
    // has a constant derivative that smoothing keeps; a single step in raw
    // spreads. Compare the single-ended smoothing with the four-point mean
    // applied pass by pass in the interior.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> value(-100.0, 100.0);
    for (int i = 0; i < kRecordSampleCount; ++i)
        buffers->Raw[i] = value(random);
    AcquisitionBuffers raw = *buffers;
    ConvertRecord(raw, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Raw);
    std::vector<double> d = raw.DerivativeCopy;
    for (int h : {4, 6, 8, 10}) {
        std::vector<double> next = d;
        for (int c = 2 * h + 1; c < 6000 - 2 * h - 2; ++c) {
            next[c] = (d[c - 2 * h - 1] + d[c - 1] + d[c + 1] + d[c + 2 * h + 1]) / 4.0;
        }
        d = next;
    }
    ConvertRecord(*buffers, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Smoothed);
    for (int c = 200; c < 5800; c += 37) {
        EXPECT_NEAR(buffers->DerivativeCopy[c], d[c], 1e-9) << c;
    }
}

TEST_F(ProcessRecordTest, SmoothingNearTheEndsReadsWhatScratchHeldBefore) {
    for (int i = 0; i < kRecordSampleCount; ++i)
        buffers->Raw[i] = i % 17;
    auto first = std::make_unique<AcquisitionBuffers>(*buffers);
    std::fill(first->Scratch.begin(), first->Scratch.end(), 0.0);
    auto second = std::make_unique<AcquisitionBuffers>(*buffers);
    std::fill(second->Scratch.begin(), second->Scratch.end(), 1000.0);
    ConvertRecord(*first, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Smoothed);
    ConvertRecord(*second, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Smoothed);
    EXPECT_NE(first->DerivativeCopy[5], second->DerivativeCopy[5]);
    EXPECT_NE(first->DerivativeCopy[5985], second->DerivativeCopy[5985]);
    EXPECT_EQ(first->DerivativeCopy[3000], second->DerivativeCopy[3000]);
}

TEST_F(ProcessRecordTest, DifferentialStepsCarryTheExtraFactor) {
    // A record whose raw derivative is exactly one kernel at the
    // deconvolution start: the first amplitude is 1 single-ended and 0.9
    // differential.
    for (MeasurementMode mode : {kSingle, kDifferential}) {
        std::vector<double> kernel(60, 4.0);
        ASSERT_TRUE(kernels.For(mode).SetStored(kernel));
        buffers->ClearForAcquisition();
        const int start = calibration.EndOfCable(mode) - 100;
        // A ramp of 60 samples with slope 4 starting at start - 5 gives a
        // 10-sample difference of 4 from the start on for 50 samples.
        for (int t = 0; t < kRecordSampleCount; ++t) {
            const int into = std::clamp(t - (start - 5), 0, 60);
            buffers->Raw[t] = 4.0 * into;
        }
        ConvertRecord(*buffers, calibration, kernels.For(mode), mode, 6000, Derivative::Raw);
        const double expected = IsDifferential(mode) ? 0.9 : 1.0;
        EXPECT_NEAR(buffers->StepAmplitudes[0], expected, 1e-12) << ModeName(mode);
    }
}

TEST_F(ProcessRecordTest, LevelTwiceTheDivisorGivesAnInfiniteImpedance) {
    buffers->Raw[0] = 0.0;
    std::fill(buffers->Raw.begin() + 1, buffers->Raw.begin() + kRecordSampleCount, 100.0);
    calibration.SetDivisor(kSingle, 50.0);
    ConvertRecord(*buffers, calibration, kernels.SingleEnded, kSingle, 6000, Derivative::Smoothed);
    EXPECT_EQ(buffers->Level[3075], 100.0);
    EXPECT_TRUE(std::isinf(buffers->Impedance[3075]));
    EXPECT_GT(buffers->Impedance[3075], 0.0);
}

TEST_F(ProcessRecordTest, AnyCountAndEveryEndOfCableStayInsideTheArrays) {
    // Out-of-range indexes would show under the sanitizers; here the count's
    // limits are checked: nothing at or past the count is shifted.
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> value(-30000.0, 30000.0);
    for (int count : {-5, 0, 1, 11, 6000, 8999, 9000, 12000}) {
        for (int end : {kMinEndOfCable, kMaxEndOfCable}) {
            calibration.SetEndOfCable(kDifferential, end);
            for (int i = 0; i < kAcquisitionLength; ++i)
                buffers->Raw[i] = value(random);
            const std::vector<double> before = buffers->Raw;
            ConvertRecord(*buffers, calibration, kernels.Differential, kDifferential, count,
                          Derivative::Smoothed);
            const int processed = std::clamp(count, 0, kAcquisitionLength);
            for (int i = std::max(processed, 1); i < kAcquisitionLength; ++i) {
                ASSERT_EQ(buffers->Raw[i], before[i]) << "count " << count << " index " << i;
            }
            if (processed > 0) {
                EXPECT_EQ(buffers->Raw[0], 0.0);
                EXPECT_EQ(buffers->Raw[processed - 1], before[processed - 1] - before[0]);
            }
        }
    }
}

std::vector<std::string> ReadLines(const std::string& path, std::string* all = nullptr) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (all)
        *all = text.str();
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(text, line))
        lines.push_back(line);
    return lines;
}

std::string Printf(const char* format, double a, double b, double c, double d, double e) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d, e);
    return text;
}

TEST_F(ProcessRecordTest, TheDumpHasSixFieldsWhileTheKernelLastsThenFive) {
    orvik::testing::TemporaryFolder folder;
    FillRandomRecord(*buffers, 3, calibration.EndOfCable(kDifferential));
    const std::string path = folder.File("TDR_Data.csv");
    ProcessRecord(*buffers, calibration, kernels, kDifferential, 6000, Derivative::Smoothed, path);
    std::string all;
    const auto lines = ReadLines(path, &all);
    ASSERT_EQ(lines.size(), 5000u);
    EXPECT_EQ(all.find('\r'), std::string::npos);
    EXPECT_EQ(all.back(), '\n');
    const auto kernel = kernels.Differential.Values();
    for (int m : {0, 1, 479, 480, 481, 3000, 4999}) {
        const auto& b = *buffers;
        std::string expected = Printf("%g, %g, %g, %g, %g", b.Raw[m], b.Derivative[m], b.Level[m],
                                      b.Impedance[m], b.DerivativeCopy[m]);
        if (m < 480) {
            char kernelText[64];
            std::snprintf(kernelText, sizeof kernelText, ", %g", kernel[m]);
            expected += kernelText;
        }
        EXPECT_EQ(lines[m], expected) << "line " << m + 1;
    }
}

TEST_F(ProcessRecordTest, AnUnwritableDumpIsSkippedSilently) {
    orvik::testing::TemporaryFolder folder;
    FillRandomRecord(*buffers, 4, 3075);
    auto reference = std::make_unique<AcquisitionBuffers>(*buffers);
    ConvertRecord(*reference, calibration, kernels.SingleEnded, kSingle, 6000,
                  Derivative::Smoothed);
    const std::string path = folder.File("missing-folder/TDR_Data.csv");
    EXPECT_FALSE(WriteDiagnosticDump(*buffers, kernels.SingleEnded.Values(), path));
    ProcessRecord(*buffers, calibration, kernels, kSingle, 6000, Derivative::Smoothed, path);
    EXPECT_EQ(buffers->Impedance, reference->Impedance);
    EXPECT_FALSE(orvik::FileExists(path));
}

TEST_F(ProcessRecordTest, TheDumpWritesInfiniteImpedanceAsPrintfDoes) {
    orvik::testing::TemporaryFolder folder;
    buffers->Impedance[7] = INFINITY;
    const std::string path = folder.File("dump.csv");
    ASSERT_TRUE(WriteDiagnosticDump(*buffers, kernels.SingleEnded.Values(), path));
    const auto lines = ReadLines(path);
    char expected[64];
    std::snprintf(expected, sizeof expected, "0, 0, 0, inf, 0, %g",
                  kernels.SingleEnded.Values()[7]);
    EXPECT_EQ(lines[7], expected);
}

}  // namespace
}  // namespace orvik
