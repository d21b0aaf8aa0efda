#include "instrument/process_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "instrument/general_number_format.h"

namespace orvik {
namespace {

// Samples averaged by each deconvolution amplitude estimate.
constexpr int kEstimateWindow = 50;
// The differential amplitude estimates are damped by this factor.
constexpr double kDifferentialDamping = 0.9;
// The deconvolution starts this many samples before the end of the cable, and
// the baseline level is the mean of the 100 samples ending 2 before that.
constexpr int kDeconvolutionLead = 100;
constexpr int kBaselineSamples = 100;

void ShiftBaseline(std::vector<double>& raw, int count) {
    if (count <= 0) {
        return;
    }
    const double first = raw[0];
    for (int i = 1; i < count; ++i) {
        raw[i] -= first;
    }
    raw[0] = 0.0;
}

void TakeDifference(const std::vector<double>& raw, std::vector<double>& derivative, int count) {
    for (int c = 5; c <= count - 6; ++c) {
        derivative[c] = (raw[c + 5] - raw[c - 5]) * 0.1;
    }
}

// One pass of the two-stage smoothing: stage 1 averages the pair 2h apart
// around each sample into scratch (shifted by one); stage 2 averages two
// stage-1 values 2h+2 apart. Near the ends stage 2 reads scratch entries that
// this pass did not write and takes whatever an earlier pass left there.
void SmoothingPass(std::vector<double>& derivative, std::vector<double>& scratch, int count,
                   int h) {
    for (int k = h; k <= count - 1 - h; ++k) {
        scratch[k + 1] = (derivative[k - h] + derivative[k + h]) * 0.5;
    }
    for (int c = h + 1; c <= count - 2 - h; ++c) {
        derivative[c] = (scratch[c - h] + scratch[c + h + 2]) * 0.5;
    }
}

void SmoothDerivative(AcquisitionBuffers& buffers, MeasurementMode mode, int count) {
    const int limit = IsDifferential(mode) ? 15 : 11;
    for (int p = 0; 4 + 2 * p < limit; ++p) {
        SmoothingPass(buffers.Derivative, buffers.Scratch, count, 4 + 2 * p);
    }
}

double BaselineLevel(const std::vector<double>& raw, int start) {
    double sum = 0.0;
    for (int i = start - 101; i <= start - 2; ++i) {
        sum += raw[i];
    }
    return sum / kBaselineSamples;
}

// One deconvolution sweep from `start`: at every step the amplitude of a
// kernel-shaped step beginning there is estimated from the next 50 samples of
// the residual, and that step is taken out of the residual. The amplitudes
// are kept for the level, which rises by amplitude * sum(kernel) from the step
// on.
void DeconvolutionSweep(std::vector<double>& derivative, std::span<const double> kernel,
                        double damping, int start, double* amplitudes) {
    const std::size_t n = kernel.size();
    for (int step = 0; step < kDeconvolutionSteps; ++step) {
        double* residual = derivative.data() + start + step;
        double sum = 0.0;
        for (int k = 0; k < kEstimateWindow; ++k) {
            sum += residual[k] / kernel[k];
        }
        double g = sum / kEstimateWindow;
        if (damping != 1.0) {
            g *= damping;
        }
        for (std::size_t k = 0; k < n; ++k) {
            residual[k] -= g * kernel[k];
        }
        amplitudes[step] = g;
    }
}

// Adds the steps of both sweeps to the level: level[u] gains g * S for every
// step at or before u (steps at or past the count add nothing). Summed as
// running totals, in the order of the sweeps.
void RaiseLevel(std::vector<double>& level, const double* amplitudes, double kernelSum, int start,
                int count) {
    const double* first = amplitudes;
    const double* second = amplitudes + kDeconvolutionSteps;
    double risenFirst = 0.0;
    double risenSecond = 0.0;
    for (int u = start; u < count; ++u) {
        const int step = u - start;
        if (step < kDeconvolutionSteps) {
            risenFirst += first[step] * kernelSum;
            risenSecond += second[step] * kernelSum;
        }
        level[u] = (level[u] + risenFirst) + risenSecond;
    }
}

// Two-stage smoothing of the level over +-15 samples, with the same scratch
// array (and the same stale ends) as the derivative smoothing.
void SmoothLevel(std::vector<double>& level, std::vector<double>& scratch, int count) {
    for (int k = 15; k <= count - 9; ++k) {
        scratch[k + 1] = (level[k - 8] + level[k + 8]) * 0.5;
    }
    for (int c = 16; c <= count - 8; ++c) {
        level[c] = (scratch[c - 6] + scratch[c + 8]) * 0.5;
    }
}

void ConvertToImpedance(AcquisitionBuffers& buffers, double divisor, double constant, int count) {
    for (int m = 0; m < count; ++m) {
        const double rho = buffers.Level[m] / divisor - 1.0;
        buffers.Impedance[m] = std::fabs(constant * (1.0 + rho) / (1.0 - rho));
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void ConvertRecord(AcquisitionBuffers& buffers, const CalibrationSet& calibration,
                   const ResponseKernel& kernel, MeasurementMode mode, int count,
                   Derivative derivative) {
    const int n = std::clamp(count, 0, kAcquisitionLength);
    const int endOfCable = calibration.EndOfCable(mode);
    const int start = endOfCable - kDeconvolutionLead;
    const std::span<const double> values = kernel.Values();

    ShiftBaseline(buffers.Raw, n);
    const double kernelSum = kernel.Sum();
    TakeDifference(buffers.Raw, buffers.Derivative, n);
    if (derivative == Derivative::Smoothed) {
        SmoothDerivative(buffers, mode, n);
    }
    std::copy_n(buffers.Derivative.begin(), n, buffers.DerivativeCopy.begin());

    const double baseline = BaselineLevel(buffers.Raw, start);
    std::fill_n(buffers.Level.begin(), n, baseline);
    std::fill_n(buffers.Derivative.begin(), start, 0.0);

    const double damping = IsDifferential(mode) ? kDifferentialDamping : 1.0;
    double* amplitudes = buffers.StepAmplitudes.data();
    DeconvolutionSweep(buffers.Derivative, values, damping, start, amplitudes);
    DeconvolutionSweep(buffers.Derivative, values, damping, start,
                       amplitudes + kDeconvolutionSteps);
    RaiseLevel(buffers.Level, amplitudes, kernelSum, start, n);

    SmoothLevel(buffers.Level, buffers.Scratch, n);
    ConvertToImpedance(buffers, calibration.Divisor(mode), calibration.CalibrationConstant(mode),
                       n);
}

bool WriteDiagnosticDump(const AcquisitionBuffers& buffers, std::span<const double> kernel,
                         const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    // The text goes out in large pieces straight from this buffer.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    constexpr std::size_t kChunk = 1 << 16;
    constexpr std::size_t kLongestLine = 6 * (kGeneralNumberMaxLength + 2) + 1;
    char text[kChunk];
    std::size_t used = 0;
    bool written = true;
    for (int m = 0; m < kDiagnosticDumpLines; ++m) {
        const double fields[6] = {buffers.Raw[m],
                                  buffers.Derivative[m],
                                  buffers.Level[m],
                                  buffers.Impedance[m],
                                  buffers.DerivativeCopy[m],
                                  static_cast<std::size_t>(m) < kernel.size() ? kernel[m] : 0.0};
        const int fieldCount = static_cast<std::size_t>(m) < kernel.size() ? 6 : 5;
        for (int f = 0; f < fieldCount; ++f) {
            if (f > 0) {
                text[used++] = ',';
                text[used++] = ' ';
            }
            used += FormatGeneral(fields[f], text + used);
        }
        text[used++] = '\n';
        if (used + kLongestLine > kChunk || m == kDiagnosticDumpLines - 1) {
            written = written && std::fwrite(text, 1, used, file.get()) == used;
            used = 0;
        }
    }
    const bool closed = std::fclose(file.release()) == 0;
    return written && closed;
}

void ProcessRecord(AcquisitionBuffers& buffers, const CalibrationSet& calibration,
                   const ResponseKernels& kernels, MeasurementMode mode, int count,
                   Derivative derivative, const std::string& dumpPath) {
    const ResponseKernel& kernel = kernels.For(mode);
    ConvertRecord(buffers, calibration, kernel, mode, count, derivative);
    if (!dumpPath.empty()) {
        WriteDiagnosticDump(buffers, kernel.Values(), dumpPath);
    }
}

}  // namespace orvik
