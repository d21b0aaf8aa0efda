// process: the acquisition's processing stage on a recorded raw record, with
// the calibration a fresh program has (or the one given), so that its numbers
// can be checked from outside. Like every acquisition it leaves the
// diagnostic dump TDR_Data.csv in the current directory.
#include "cli/process_command.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_store.h"
#include "instrument/acquisition_buffers.h"
#include "instrument/calibration_set.h"
#include "instrument/process_record.h"
#include "instrument/response_kernel.h"

namespace orvik::cli {
namespace {

struct ProcessOptions {
    std::optional<MeasurementMode> mode;
    std::optional<long> endOfCable;
    std::optional<double> divisor;
    std::optional<double> constant;
    std::string kernelPath;
    Derivative derivative = Derivative::Smoothed;
    std::string rawPath;
};

MeasurementMode ParseMode(const std::string& text) {
    if (text == "single") {
        return MeasurementMode::SingleEnded;
    }
    if (text == "differential") {
        return MeasurementMode::Differential;
    }
    throw UsageError("--mode must be single or differential: " + text);
}

ProcessOptions ReadOptions(const Arguments& arguments) {
    ProcessOptions options;
    ArgumentReader reader(arguments);
    while (!reader.Done()) {
        if (reader.Option("--mode")) {
            options.mode = ParseMode(reader.Value());
        } else if (reader.Option("--eoc")) {
            options.endOfCable = ParseInteger(reader.Value(), "--eoc");
            if (*options.endOfCable < kMinEndOfCable || *options.endOfCable > kMaxEndOfCable) {
                throw UsageError("--eoc must lie between 201 and 5000");
            }
        } else if (reader.Option("--divisor")) {
            options.divisor = ParseDouble(reader.Value(), "--divisor");
            // Every level is divided by it; the program refuses a stored 0 too.
            if (*options.divisor == 0.0) {
                throw CommandFailure("--divisor 0 is unusable: the levels are divided by it");
            }
        } else if (reader.Option("--constant")) {
            options.constant = ParseDouble(reader.Value(), "--constant");
        } else if (reader.Option("--kernel")) {
            options.kernelPath = reader.Value();
        } else if (reader.Flag("--raw-derivative")) {
            options.derivative = Derivative::Raw;
        } else if (options.rawPath.empty()) {
            options.rawPath = reader.Word();
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (!options.mode) {
        throw UsageError("--mode is required");
    }
    if (options.rawPath.empty()) {
        throw UsageError("missing RAW file");
    }
    return options;
}

// One number per line; blank lines only at the end. At most `limit` values.
std::vector<double> ReadNumberColumn(const std::string& path, std::size_t limit) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        throw CommandFailure("cannot read " + path + ": " + bytes.Error().Message);
    }
    std::vector<double> values;
    std::size_t lineNumber = 0;
    std::size_t blankLines = 0;
    std::size_t position = 0;
    while (position < bytes->size()) {
        std::size_t end = position;
        while (end < bytes->size() && (*bytes)[end] != '\n') {
            ++end;
        }
        std::string line(bytes->begin() + position, bytes->begin() + end);
        position = end + 1;
        ++lineNumber;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.pop_back();
        }
        std::size_t first = 0;
        while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first]))) {
            ++first;
        }
        line.erase(0, first);
        if (line.empty()) {
            ++blankLines;
            continue;
        }
        char* stop = nullptr;
        errno = 0;
        const double value = std::strtod(line.c_str(), &stop);
        if (blankLines > 0 || *stop != '\0' || errno != 0 || !std::isfinite(value)) {
            throw CommandFailure(path + ":" + std::to_string(lineNumber) +
                                 ": not a sample: " + line);
        }
        if (values.size() == limit) {
            throw CommandFailure(path + " holds more than " + std::to_string(limit) + " values");
        }
        values.push_back(value);
    }
    return values;
}

void PrintProcessedRecord(const AcquisitionBuffers& buffers) {
    std::string out = "index,raw,derivative,derivative_copy,level,impedance\n";
    out.reserve(kProcessedSampleCount * 6 * 25);
    char line[256];
    for (int i = 0; i < kProcessedSampleCount; ++i) {
        std::snprintf(line, sizeof line, "%d,%.17g,%.17g,%.17g,%.17g,%.17g\n", i, buffers.Raw[i],
                      buffers.Derivative[i], buffers.DerivativeCopy[i], buffers.Level[i],
                      buffers.Impedance[i]);
        out += line;
    }
    std::cout << out;
}

}  // namespace

int RunProcess(const Arguments& arguments) {
    const ProcessOptions options = ReadOptions(arguments);
    const MeasurementMode mode = *options.mode;

    CalibrationSet calibration;
    if (options.endOfCable) {
        calibration.SetEndOfCable(mode, static_cast<int>(*options.endOfCable));
    }
    if (options.divisor) {
        calibration.SetDivisor(mode, *options.divisor);
    }
    if (options.constant) {
        calibration.SetCalibrationConstant(mode, *options.constant);
    }
    ResponseKernels kernels;
    if (!options.kernelPath.empty()) {
        std::vector<double> kernel =
            ReadNumberColumn(options.kernelPath, ResponseKernel::kMaxLength);
        const std::string unusable = ResponseKernel::Unusable(kernel);
        if (!unusable.empty()) {
            throw CommandFailure(options.kernelPath + ": the kernel " + unusable);
        }
        kernels.For(mode).SetStored(std::move(kernel));
    }

    auto buffers = std::make_unique<AcquisitionBuffers>();
    const std::vector<double> raw = ReadNumberColumn(options.rawPath, kAcquisitionLength);
    if (raw.empty()) {
        throw CommandFailure(options.rawPath + " holds no samples");
    }
    std::copy(raw.begin(), raw.end(), buffers->Raw.begin());
    ProcessRecord(*buffers, calibration, kernels, mode, kProcessedSampleCount, options.derivative);
    PrintProcessedRecord(*buffers);
    return 0;
}

}  // namespace orvik::cli
