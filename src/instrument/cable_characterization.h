#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/operator_prompts.h"
#include "instrument/acquisition.h"
#include "instrument/cable_measurement.h"
#include "instrument/calibration_set.h"
#include "instrument/instrument_link.h"
#include "instrument/response_kernel.h"

namespace orvik {

inline constexpr const char* kCharacterizingCableCaption = "Characterizing Cable";
inline constexpr const char* kDisconnectSingleEndedText =
    "Ensure that all airlines or probes are disconnected from the Single-ended cable";
inline constexpr const char* kDisconnectDifferentialText =
    "Ensure that all airlines or probes are disconnected from the Differential cables";
inline constexpr const char* kCableLengthFailedText = "Cable length failed - retry";
// What the operator checks before retrying, after the first line above.
inline constexpr const char* kNoEdgeSingleEndedHint =
    "No reflection from the end of the Single-ended cable was found. Check that nothing "
    "(airline, probe or load) is attached to the cable's end and that the cable is screwed "
    "tight to the instrument.";
inline constexpr const char* kNoEdgeDifferentialHint =
    "No reflection from the end of the Differential cables was found. Check that nothing "
    "(airline, probe or load) is attached to the cables' ends and that both cables are "
    "screwed tight to the instrument.";
inline constexpr const char* kIncompleteRecordHint =
    "The instrument did not deliver the whole record. Check the USB cable to the instrument.";
inline constexpr const char* kCableKernelNotStoredText =
    "The cable kernel could not be written to the TDR - retry";
inline constexpr const char* kErrorCaption = "Error";

// How a cable characterisation ended.
struct CharacterizationOutcome {
    enum class Result {
        Done,               // new end of cable and kernel in force and in the store
        KernelNotStored,    // in force, but a store page could not be written
        KernelWriteFailed,  // the USB layer gave up while the kernel pages were written
        DeviceUnreachable,  // the acquisition could not use the instrument
        IncompleteRecord,   // blocks were missing from the part of the record searched
        EdgeNotFound,       // no open end's reflection before sample 5001
    };
    Result result = Result::EdgeNotFound;
    AcquisitionOutcome acquisition;
    CableMeasurement cable;  // what the search found in the record
    // The error of the USB layer that interrupted the store writes.
    std::optional<std::string> usbError;

    bool Succeeded() const { return result == Result::Done || result == Result::KernelNotStored; }
};

// Finds where the instrument's cable ends and records its response there, for
// one mode, with nothing attached to the cable: the operator is asked to
// disconnect everything, an acquisition is made from a provisional end of
// cable at sample 2000 with the built-in kernel and the raw derivative, and
// the open end's reflection gives the end of cable and the new kernel, which
// is written to the instrument's store at once. The end of cable reaches the
// store only when the calibration is saved.
//
// A characterisation that does not complete leaves the mode as it found it:
// the previous end of cable and kernel are put back in force, so that the
// following measurements and the store (which still holds the previous
// kernel) agree. An error of the USB layer while the kernel pages are written
// ends the operation the same way, with the write-failure message.
class CableCharacterization {
  public:
    CableCharacterization(Acquisition& acquisition, InstrumentLink& link, OperatorPrompts& prompts,
                          CalibrationSet& calibration, ResponseKernels& kernels)
        : acquisition_(acquisition),
          link_(link),
          prompts_(prompts),
          calibration_(calibration),
          kernels_(kernels) {}

    CharacterizationOutcome Run(MeasurementMode mode);

  private:
    struct Previous {
        int endOfCable;
        std::optional<std::vector<double>> kernel;
    };
    CharacterizationOutcome Characterize(MeasurementMode mode, const Previous& previous);
    void Restore(MeasurementMode mode, Previous previous);

    Acquisition& acquisition_;
    InstrumentLink& link_;
    OperatorPrompts& prompts_;
    CalibrationSet& calibration_;
    ResponseKernels& kernels_;
};

// The first store page of a mode's kernel.
std::uint8_t KernelFirstPage(MeasurementMode mode);

}  // namespace orvik
