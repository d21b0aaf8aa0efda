#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/operator_prompts.h"
#include "instrument/calibration_set.h"
#include "instrument/image_loading.h"
#include "instrument/instrument_link.h"
#include "instrument/trigger_port.h"
#include "instrument/usb_device.h"

namespace orvik {

// The release number the instrument reports while its program runs.
inline constexpr std::uint16_t kRunningReleaseNumber = 0x0064;

// One measurement mode's values as the store gave them; a value is absent
// when the store did not hold it or held one the program cannot use.
struct StoredModeCalibration {
    std::optional<int> endOfCable;
    std::optional<double> divisor;
    std::optional<double> calibrationConstant;
    std::optional<std::vector<double>> kernel;
};

// What the instrument's store held at start-up.
struct StoredCalibration {
    bool calibrated = false;  // page 1 carried the calibration magic
    StoredModeCalibration singleEnded;
    StoredModeCalibration differential;
    std::optional<std::string> lastOperator;
    std::optional<std::string> lastDate;
    // Stored values that were refused, and pages that could not be read, in
    // words for the operator.
    std::vector<std::string> notes;
};

struct StartUpOptions {
    // The process's full command line; "Characterize" anywhere switches the
    // characterisation functions on.
    std::string commandLine;
    // Where TDR_XC.hex and TdrSpartan.hex are looked for.
    std::filesystem::path imageFolder;
    // The "Initializing TDR" window, or none.
    LoadProgress* progress = nullptr;
    // Load the images even when the instrument reports its program running
    // (after a restart that failed half-way, the program may run without
    // the FPGA image, which the release number cannot tell).
    bool reloadImages = false;
};

// An image the instrument needed at start-up and did not get.
struct ImageFailure {
    std::filesystem::path file;
    ImageLoadOutcome outcome;
};

// What the instrument side of start-up found and did.
struct StartUpFindings {
    int triggerDevicesFound = 0;
    bool triggerOpened = false;  // start the 100 ms trigger poll
    bool characterizeMode = false;
    bool instrumentFound = false;
    // Why no instrument could be opened, when the driver knew more than that
    // none is attached (one this user may not open, one another program
    // uses); empty otherwise.
    std::string unavailable;
    std::uint16_t releaseNumber = 0;
    std::string serialNumber;  // the instrument's USB serial number, as first found
    std::optional<ImageLoadOutcome> programImage;  // absent when no load was needed
    std::optional<ImageLoadOutcome> fpgaImage;
    StoredCalibration stored;
    // An error of the USB layer that ended an instrument step early.
    std::optional<std::string> usbError;
    // The first image that did not load when the instrument needed them: it
    // then has no program or no FPGA configuration and cannot measure.
    std::optional<ImageFailure> imageFailure;

    // An instrument was found and has what it needs to measure.
    bool InstrumentReady() const { return instrumentFound && !imageFailure; }
};

inline constexpr const char* kInstrumentNotReadyCaption = "MV300 not ready";

// For the operator, when the images did not load: which file and what went
// wrong, and that the instrument is not ready. Empty otherwise.
std::string ImageFailureText(const StartUpFindings& findings);
// For the operator at each Run Test on an instrument whose images did not
// load, under the caption kInstrumentNotReadyCaption.
std::string RunTestNotReadyText(const StartUpFindings& findings);
// The status bar's words for the instrument after start-up: "MV300 ready",
// "No MV300 found" (or why the one attached cannot be used), or "MV300 not
// ready" with the image that did not load.
std::string InstrumentStatusText(const StartUpFindings& findings);

// The instrument side of the main window's creation: connect the trigger
// port, read the characterisation switch, bring the instrument up (program
// and FPGA images when it reports another release number than 0x0064) and
// read its calibration and response kernels. The instrument is closed
// afterwards; the trigger port stays open when found. Never fails: whatever
// could not be read leaves the program on its built-in values. The store is
// read even when an image load failed: it does not need the FPGA. Errors of
// the USB layer are shown to the operator; the image failure is only
// reported in the findings.
StartUpFindings RunDeviceStartUp(CUsbDevice& device, CTriggerPort& trigger, Clock& clock,
                                 OperatorPrompts& prompts, const StartUpOptions& options);

// The instrument steps of start-up alone: open it, load its images when its
// program does not run, read its calibration and kernels, close it. Also
// what brings up an instrument that came back without its program.
StartUpFindings BringUpInstrument(CUsbDevice& device, Clock& clock, OperatorPrompts& prompts,
                                  const StartUpOptions& options);

// The calibration and kernel reads alone (pages 1-5, 8 onward, 60 onward).
StoredCalibration ReadStoredCalibration(InstrumentLink& link);

}  // namespace orvik
