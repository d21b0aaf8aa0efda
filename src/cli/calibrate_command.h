#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/measurement_mode.h"
#include "cli/cli_command.h"

namespace orvik::cli {

// An airline as the command line names it: Z@LENGTH, ohms and inches.
struct AirlineArgument {
    double Ohms = 0.0;
    double Inches = 0.0;
};

struct CalibrateOptions {
    bool simulate = false;
    std::optional<std::string> coupon;  // --simulate=PROFILE, checked
    std::optional<std::string> simStore;
    MeasurementMode mode = MeasurementMode::SingleEnded;
    bool characterize = false;
    bool reset = false;
    std::vector<AirlineArgument> airlines;
    std::optional<AirlineArgument> verify;
    std::string operatorName;
    bool save = false;
};

CalibrateOptions ParseCalibrateOptions(const Arguments& arguments);

// calibrate: the Calibration dialog's operations, in the order Reset, one
// Calibrate per airline (each attached to the simulated cable first), Verify,
// Save, through the program's own calibration code. Prints the values read
// from the instrument at the start and those in force at the end, each
// calibration's known, measured and constant, and the verified impedance.
int RunCalibrate(const Arguments& arguments);

}  // namespace orvik::cli
