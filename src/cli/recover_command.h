#pragma once

#include "cli/cli_command.h"

namespace orvik::cli {

// recover --list: the journals left by programs that ended without saving.
// recover JOURNAL --out FILE.tdr: the collection a journal rebuilds, saved to
// a new file.
int RunRecover(const Arguments& arguments);

}  // namespace orvik::cli
