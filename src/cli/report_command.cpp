// report and export-csv: what a collection says, for a customer or a spreadsheet.
#include "cli/report_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "report/report_builder.h"
#include "report/report_lines.h"

namespace orvik::cli {

void WriteStandardOutput(std::string_view bytes) {
    errno = 0;
    const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    if (written != bytes.size() || std::fflush(stdout) != 0) {
        const int error = errno;
        throw CommandFailure(std::string("cannot write to standard output: ") +
                             (error != 0 ? std::strerror(error) : "write failed"));
    }
}

namespace {

// The company details for the report's headers: from the named library, else
// from criteria.dat in the current folder, else none.
ReportPreferences LoadPreferences(const std::string& criteriaPath) {
    const bool named = !criteriaPath.empty();
    const std::string path = named ? criteriaPath : std::string(kCriteriaFileName);
    CriteriaLibrary library;
    const LibraryLoadResult loaded = library.Load(path);
    if (loaded.IsDamaged()) {
        throw CommandFailure(loaded.Message());
    }
    if (named && loaded.status == LibraryLoadStatus::Missing) {
        // A library asked for by name and not there is a mistake, not a wish
        // for a report without company details.
        throw CommandFailure("cannot open " + path + ": " + std::strerror(ENOENT));
    }
    return library.Preferences;
}

}  // namespace

void OpenCollection(COrvikDoc& document, const std::string& path) {
    const DocumentFileResult opened = document.Open(path);
    if (!opened.ok) {
        throw CommandFailure(opened.message + " " + path + ": " + opened.detail);
    }
}

int RunReport(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    std::string collectionPath;
    std::string criteriaPath;
    bool tab = false;
    while (!reader.Done()) {
        if (reader.Option("--criteria")) {
            criteriaPath = reader.Value();
            if (criteriaPath.empty()) {
                throw UsageError("--criteria needs a file name");
            }
        } else if (reader.Option("--tab")) {
            tab = true;
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
    const ReportBuilder builder(document.Items(), LoadPreferences(criteriaPath));
    if (!tab) {
        WriteStandardOutput(builder.Text());
        return 0;
    }
    std::string lines;
    for (const std::string& line : builder.TabLines(kTextDashCount)) {
        lines += line;
        lines += '\n';
    }
    WriteStandardOutput(lines);
    return 0;
}

}  // namespace orvik::cli
