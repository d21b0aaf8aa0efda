#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/clock.h"
#include "cli/cli_command.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::cli {

// The simulated MV300 of the commands that measure, as the program has it:
// the default coupons on its cables unless `coupon` (a profile the command
// has checked) goes on both, and the `simStore` file, refused with a
// CommandFailure when it is not a store or cannot be written.
std::unique_ptr<sim::SimulatedDriverPort> SimulatedCommandInstrument(
    Clock& clock, const std::optional<std::string>& simStore,
    const std::optional<std::string>& coupon);

// "orvik-cli COMMAND ARGUMENT..." as typed: the command line whose
// "Characterize" word the instrument's start-up looks for.
std::string CommandLine(const std::string& command, const Arguments& arguments);

}  // namespace orvik::cli
