#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/diagnostic_log.h"
#include "base/measurement_mode.h"
#include "base/operator_prompts.h"
#include "instrument/acquisition_buffers.h"
#include "instrument/calibration_set.h"
#include "instrument/instrument_link.h"
#include "instrument/process_record.h"
#include "instrument/response_kernel.h"

namespace orvik {

inline constexpr const char* kDeviceNotFoundText = "Unable to open the TDR device";
inline constexpr const char* kDeviceNotFoundCaption = "Device not found";

// Sample blocks taken per acquisition, and the samples a whole block brings.
inline constexpr int kBlocksPerAcquisition = 8;
inline constexpr std::size_t kSamplesPerBlock = kSampleBlockBytes / 2;

// One register write of the acquisition's set-up and the pause after it
// (beyond the pause every register write makes).
struct RegisterStep {
    std::uint16_t value;
    std::int64_t pauseAfterMs;

    bool operator==(const RegisterStep&) const = default;
};

// The register values that set the instrument up for one record: reset,
// front end, arming. The modes differ only in bit 2 of the last two values.
std::array<RegisterStep, 5> AcquisitionRegisterSteps(MeasurementMode mode);

// What one acquisition did.
struct AcquisitionOutcome {
    // The instrument could be opened. When not, the operator has been told
    // "Unable to open the TDR device" (or why the driver could not open the
    // one attached) and the arrays keep the previous acquisition's values.
    bool deviceOpened = false;
    // The record went through the processing: every array holds this
    // acquisition's results.
    bool processed = false;
    int blocksReceived = 0;   // blocks that brought samples
    int samplesReceived = 0;  // samples in the raw array from the start
    // Samples at the front of the record that lie where the instrument took
    // them: everything before the first block that failed or came short.
    // Behind that block every sample stands where another one belongs.
    int samplesInPlace = 0;
    // An error of the USB layer that ended the acquisition; the operator has
    // seen its text.
    std::optional<std::string> usbError;
    // The instrument did not get its images at start-up; nothing was asked
    // of it and the operator has been told.
    bool instrumentNotReady = false;
    // The operator has been told that the instrument cannot be used: live
    // mode must stop so that the message does not come back at every tick.
    bool stopLiveMode = false;

    // All eight blocks came whole: the record has no zeros standing in for
    // missing samples.
    bool WholeRecord() const { return samplesReceived == kRecordSampleCount; }
    // The first `count` samples of the record are the instrument's own.
    bool HasSamplesInPlace(int count) const { return samplesInPlace >= count; }
};

// One acquisition: opens the instrument, sets it up for the mode, takes the
// eight sample blocks of a record into the raw array, closes the instrument
// and runs the processing with the calibration and kernel in force. The
// pauses the instrument needs pass on the link's clock. Transfers that fail
// inside the eight blocks are not reported: a block that brings nothing adds
// nothing, and the zeros at the end of the raw record stand in for it.
class Acquisition {
  public:
    static constexpr std::int64_t kFrontEndSettleMs = 50;
    static constexpr std::int64_t kArmingSettleMs = 120;

    Acquisition(InstrumentLink& link, OperatorPrompts& prompts, AcquisitionBuffers& buffers,
                const CalibrationSet& calibration, const ResponseKernels& kernels)
        : link_(link),
          prompts_(prompts),
          buffers_(buffers),
          calibration_(calibration),
          kernels_(kernels) {}

    // With `derivative` the derivative is left unsmoothed (for the cable
    // characterisation). The instrument busy flag is the caller's.
    AcquisitionOutcome Acquire(MeasurementMode mode, Derivative derivative);

    // Where the diagnostic dump goes: TDR_Data.csv in the current directory,
    // as the program writes it; empty for none.
    const std::string& DumpPath() const { return dumpPath_; }
    void SetDumpPath(std::string path) { dumpPath_ = std::move(path); }

    AcquisitionBuffers& Buffers() { return buffers_; }

    // Where what the operator is not told goes: blocks that came short or
    // not at all, a close the driver refused, the reason behind a failure.
    void SetLog(DiagnosticLog& log) { log_ = &log; }

    // An instrument without its program or FPGA configuration answers no
    // acquisition; with a reason set, every acquisition ends at once with
    // that message (caption `caption`) instead of waiting on the instrument.
    void SetNotReady(std::string reason, std::string caption) {
        notReady_ = std::move(reason);
        notReadyCaption_ = std::move(caption);
    }
    void ClearNotReady() { notReady_.reset(); }

    // What brings up an instrument found without its program running (it
    // was unplugged or switched off since start-up): true when it is ready
    // again; when not, it has told the operator and the acquisition ends,
    // and the next acquisition tries it again. Without it, such an
    // instrument is asked for the record as it is.
    void SetRestart(std::function<bool()> restart) { restart_ = std::move(restart); }

  private:
    void TakeRecord(MeasurementMode mode, AcquisitionOutcome& outcome);
    bool OpenInstrument(AcquisitionOutcome& outcome);

    InstrumentLink& link_;
    OperatorPrompts& prompts_;
    AcquisitionBuffers& buffers_;
    const CalibrationSet& calibration_;
    const ResponseKernels& kernels_;
    std::string dumpPath_ = kDiagnosticDumpName;
    std::optional<std::string> notReady_;
    std::string notReadyCaption_;
    std::function<bool()> restart_;
    bool restartFailed_ = false;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
};

}  // namespace orvik
