#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli/cli_command.h"

#include "base/failure.h"

namespace orvik {
class COrvikDoc;
struct ReportContent;
struct StatisticsAppendixPage;
}  // namespace orvik

namespace orvik::cli {

// report FILE.tdr [--criteria FILE.dat] [--tab | --pdf OUT.pdf [--paper letter|a4]
//     [--statistics [--results URL]]]
int RunReport(const Arguments& arguments);

// Writes a report's paper layout as a PDF. Drawing needs the window system's
// fonts, so the tool gets a writer only when it is built with Qt.
// `appendix` holds the statistics pages that follow the report, if any.
using ReportPdfWriter = Status (*)(const ReportContent& content, const std::string& path, bool a4,
                                   std::span<const StatisticsAppendixPage> appendix);
void SetReportPdfWriter(ReportPdfWriter writer);
// export-csv FILE.tdr [--trace N]
int RunExportCsv(const Arguments& arguments);

// Writes all of `bytes` to standard output and flushes it; a failed write
// (a full disk, a closed pipe) is a CommandFailure naming the reason.
void WriteStandardOutput(std::string_view bytes);

// Opens a collection as the program does; a CommandFailure with the
// program's message and the reason when it cannot be read.
void OpenCollection(COrvikDoc& document, const std::string& path);

}  // namespace orvik::cli
