#pragma once

#include "cli/cli_command.h"

namespace orvik::cli {

// orvik-cli run-script: a scripted batch on the simulated instrument.
int RunRunScript(const Arguments& arguments);

}  // namespace orvik::cli
