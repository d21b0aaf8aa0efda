#pragma once

#include "cli/cli_command.h"

namespace orvik::cli {

// stats [--results URL] --job J [--test POSTFIX] [--since DATE] [--csv|--json]:
// the lot statistics of each test of a job, in script order.
int RunStats(const Arguments& arguments);

}  // namespace orvik::cli
