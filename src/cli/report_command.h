#pragma once

#include <string>
#include <string_view>

#include "cli/cli_command.h"

namespace orvik {
class COrvikDoc;
}

namespace orvik::cli {

// report FILE.tdr [--criteria FILE.dat] [--tab]
int RunReport(const Arguments& arguments);
// export-csv FILE.tdr [--trace N]
int RunExportCsv(const Arguments& arguments);

// Writes all of `bytes` to standard output and flushes it; a failed write
// (a full disk, a closed pipe) is a CommandFailure naming the reason.
void WriteStandardOutput(std::string_view bytes);

// Opens a collection as the program does; a CommandFailure with the
// program's message and the reason when it cannot be read.
void OpenCollection(COrvikDoc& document, const std::string& path);

}  // namespace orvik::cli
