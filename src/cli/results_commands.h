#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "results/results_location.h"
#include "results/results_recorder.h"
#include "results/results_store.h"
#include "results/station_results.h"

namespace orvik::cli {

// import FILE.tdr... [--results URL]: the collections' traces into the
// results database; prints {"imported": N, "already_present": N}.
int RunImport(const Arguments& arguments);
// results [--results URL] [--job J] [--since DATE] [--csv|--json]: the
// stored measurements, oldest first.
int RunResults(const Arguments& arguments);

// The database that --results URL names; a text that names none is bad usage.
results::ResultsLocation ResultsOption(const std::string& text);

// What the commands that read the database share: the store that --results
// (else ORVIK_RESULTS_URL, else the embedded file) names, opened or failed;
// --since's date; a stored UTF-8 text as the JSON writer's single-byte text;
// a CSV field and number.
std::unique_ptr<results::ResultsStore> OpenChosenStore(const std::optional<std::string>& url);
results::ResultsLocation ChosenResultsLocation(const std::optional<std::string>& url);
std::int64_t SinceOption(const std::string& text);
std::string JsonText(const std::string& utf8);
std::string CsvText(const std::string& text);
std::string CsvValue(double value);
// --csv or --json, once: true when the next argument was one (csv set).
bool FormatOption(ArgumentReader& reader, std::optional<bool>& csv);

// The measurements of one command (measure, run-script with --results): sent
// as the program sends them, through the recorder and the station's outbox,
// while the command works.
class CommandResults {
  public:
    // How long the end of the command waits for a database that cannot be
    // reached to come back.
    static constexpr std::chrono::seconds kGrace{10};

    explicit CommandResults(const results::ResultsLocation& location);
    results::StationResults& Station() { return station_; }
    // Waits for everything to be stored; fails, saying where they wait and
    // why, when some could not be.
    void Finish();

  private:
    std::unique_ptr<results::ResultsRecorder> recorder_;
    results::StationResults station_;
};

}  // namespace orvik::cli
