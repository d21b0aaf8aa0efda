#pragma once

#include "cli/cli_command.h"

namespace orvik::cli {

// process --mode single|differential [--eoc N] [--divisor X] [--constant X]
//         [--kernel FILE] [--raw-derivative] RAW
int RunProcess(const Arguments& arguments);

}  // namespace orvik::cli
