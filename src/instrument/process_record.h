#pragma once

#include <span>
#include <string>

#include "base/measurement_mode.h"
#include "instrument/acquisition_buffers.h"
#include "instrument/calibration_set.h"
#include "instrument/response_kernel.h"

namespace orvik {

// The diagnostic dump written after every acquisition, under its bare name,
// that is in the process's current directory.
inline constexpr const char* kDiagnosticDumpName = "TDR_Data.csv";
inline constexpr int kDiagnosticDumpLines = 5000;

// Turns the raw record in buffers.Raw[0 .. count-1] into an impedance profile:
// baseline shift, 10-sample difference, smoothing (skipped with
// `derivative`), deconvolution with the kernel, level smoothing and
// conversion with the mode's calibration. Every array of `buffers` is left as
// the acquisition documents it. A count outside 0 .. 9000 is brought inside.
void ConvertRecord(AcquisitionBuffers& buffers, const CalibrationSet& calibration,
                   const ResponseKernel& kernel, MeasurementMode mode, int count,
                   Derivative derivative);

// Writes the diagnostic dump of `buffers` to `path`: 5000 lines, each with
// raw, residual derivative, level, impedance and derivative copy, plus the
// kernel value on the lines that have one. False when the file cannot be
// written (the caller goes on without it).
bool WriteDiagnosticDump(const AcquisitionBuffers& buffers, std::span<const double> kernel,
                         const std::string& path);

// The whole processing stage of an acquisition: ConvertRecord, then the dump
// to `dumpPath` (an empty path writes none). A dump that cannot be written is
// skipped silently.
void ProcessRecord(AcquisitionBuffers& buffers, const CalibrationSet& calibration,
                   const ResponseKernels& kernels, MeasurementMode mode, int count,
                   Derivative derivative, const std::string& dumpPath = kDiagnosticDumpName);

}  // namespace orvik
