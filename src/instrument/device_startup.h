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
};

// What the instrument side of start-up found and did.
struct StartUpFindings {
    int triggerDevicesFound = 0;
    bool triggerOpened = false;  // start the 100 ms trigger poll
    bool characterizeMode = false;
    bool instrumentFound = false;
    std::uint16_t releaseNumber = 0;
    std::optional<ImageLoadOutcome> programImage;  // absent when no load was needed
    std::optional<ImageLoadOutcome> fpgaImage;
    StoredCalibration stored;
    // An error of the USB layer that ended the instrument steps early.
    std::optional<std::string> usbError;
};

// The instrument side of the main window's creation: connect the trigger
// port, read the characterisation switch, bring the instrument up (program
// and FPGA images when it reports another release number than 0x0064) and
// read its calibration and response kernels. The instrument is closed
// afterwards; the trigger port stays open when found. Never fails: whatever
// could not be read leaves the program on its built-in values.
StartUpFindings RunDeviceStartUp(CUsbDevice& device, CTriggerPort& trigger, Clock& clock,
                                 OperatorPrompts& prompts, const StartUpOptions& options);

// The calibration and kernel reads alone (pages 1-5, 8 onward, 60 onward).
StoredCalibration ReadStoredCalibration(InstrumentLink& link);

}  // namespace orvik
