// export-csv: a collection's traces, or one trace's samples, for a spreadsheet.
#include <string>

#include "cli/report_command.h"
#include "collection/orvik_doc.h"
#include "report/csv_export.h"

namespace orvik::cli {

int RunExportCsv(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    std::string collectionPath;
    long traceNumber = 0;  // 0: every trace, one row each
    while (!reader.Done()) {
        if (reader.Option("--trace")) {
            traceNumber = ParseInteger(reader.Value(), "--trace");
            if (traceNumber < 1) {
                throw UsageError("--trace counts traces from 1");
            }
        } else if (collectionPath.empty()) {
            collectionPath = reader.Word();
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (collectionPath.empty()) {
        throw UsageError("missing FILE.tdr");
    }
    COrvikDoc document;
    OpenCollection(document, collectionPath);
    if (traceNumber == 0) {
        WriteStandardOutput(CollectionCsv(document.Items()));
        return 0;
    }
    const auto traces = TracesOf(document.Items());
    if (static_cast<unsigned long>(traceNumber) > traces.size()) {
        throw CommandFailure("no trace " + std::to_string(traceNumber) + " in " + collectionPath +
                             ": it holds " + std::to_string(traces.size()) + " traces");
    }
    WriteStandardOutput(TraceSamplesCsv(*traces[static_cast<std::size_t>(traceNumber - 1)]));
    return 0;
}

}  // namespace orvik::cli
