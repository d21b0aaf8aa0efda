// report and export-csv: what a collection says, for a customer or a spreadsheet.
#include "cli/report_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/statistics_appendix.h"
#include "cli/command_library.h"
#include "cli/results_commands.h"
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

ReportPdfWriter pdfWriter = nullptr;

// The company details for the report's headers: from the named library, else
// from criteria.dat in the current folder, else none.
ReportPreferences LoadPreferences(const std::string& criteriaPath) {
    const bool named = !criteriaPath.empty();
    const std::string path = named ? criteriaPath : std::string(kCriteriaFileName);
    CriteriaLibrary library;
    // A library asked for by name and not there is a mistake, not a wish for
    // a report without company details.
    LoadCommandLibrary(library, path, named ? MissingLibrary::Refused : MissingLibrary::Empty);
    return library.Preferences;
}

struct ReportOptions {
    std::string collection;
    std::string criteria;
    bool tab = false;
    std::string pdf;
    std::string paper;
    bool statistics = false;  // the lot statistics of each run after the report
    std::optional<std::string> results;
};

ReportOptions ReadReportOptions(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    ReportOptions options;
    while (!reader.Done()) {
        if (reader.Option("--criteria")) {
            options.criteria = reader.Value();
            if (options.criteria.empty()) {
                throw UsageError("--criteria needs a file name");
            }
        } else if (reader.Flag("--tab")) {
            options.tab = true;
        } else if (reader.Option("--pdf")) {
            options.pdf = reader.Value();
            if (options.pdf.empty()) {
                throw UsageError("--pdf needs a file name");
            }
        } else if (reader.Option("--paper")) {
            options.paper = reader.Value();
            if (options.paper != "letter" && options.paper != "a4") {
                throw UsageError("--paper is letter or a4, not " + options.paper);
            }
        } else if (reader.Flag("--statistics")) {
            options.statistics = true;
        } else if (reader.Option("--results")) {
            options.results = reader.Value();
        } else if (options.collection.empty()) {
            options.collection = reader.Word();
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (options.collection.empty()) {
        throw UsageError("missing FILE.tdr");
    }
    if (options.tab && !options.pdf.empty()) {
        throw UsageError("--tab and --pdf exclude each other");
    }
    if (!options.paper.empty() && options.pdf.empty()) {
        throw UsageError("--paper goes with --pdf");
    }
    if (options.statistics && options.pdf.empty()) {
        throw UsageError("--statistics goes with --pdf");
    }
    if (options.results && !options.statistics) {
        throw UsageError("--results goes with --statistics");
    }
    return options;
}

}  // namespace

void SetReportPdfWriter(ReportPdfWriter writer) {
    pdfWriter = writer;
}

void OpenCollection(COrvikDoc& document, const std::string& path) {
    const Status opened = document.Open(path);
    if (!opened) {
        throw CommandFailure(opened.Error().Message + " " + path + ": " + opened.Error().Detail);
    }
}

int RunReport(const Arguments& arguments) {
    const ReportOptions options = ReadReportOptions(arguments);
    if (!options.pdf.empty() && !pdfWriter) {
        throw CommandFailure("this orvik-cli was built without Qt and cannot write PDF");
    }
    COrvikDoc document;
    OpenCollection(document, options.collection);
    const ReportBuilder builder(document.Items(), LoadPreferences(options.criteria));
    if (const std::string note = builder.Content().LimitNote(); !note.empty()) {
        std::cerr << "orvik-cli report: note: " << note << '\n';
    }
    if (!options.pdf.empty()) {
        std::vector<StatisticsAppendixPage> appendix;
        if (options.statistics) {
            const results::ResultsLocation location = ChosenResultsLocation(options.results);
            appendix = StatisticsAppendix(document.Items(), [&location] {
                results::StoreProblem problem = results::StoreProblem::None;
                return results::OpenResultsStore(location, problem);
            });
        }
        const Status written =
            pdfWriter(builder.Content(), options.pdf, options.paper == "a4", appendix);
        if (!written) {
            throw CommandFailure(written.Error().Message);
        }
        return 0;
    }
    if (!options.tab) {
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
