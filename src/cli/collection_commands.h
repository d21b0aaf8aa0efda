#pragma once

#include "cli/cli_command.h"

namespace orvik::cli {

int RunDump(const Arguments& arguments);
int RunResave(const Arguments& arguments);
int RunCriteria(const Arguments& arguments);

}  // namespace orvik::cli
