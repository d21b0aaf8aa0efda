#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/failure.h"
#include "results/measurement.h"
#include "results/results_location.h"
#include "results/sql_connection.h"

namespace orvik::results {

// Which measurements to read: every condition given must hold. Texts match
// exactly; times are seconds since 1970-01-01 UTC.
struct MeasurementFilter {
    std::optional<std::string> Uuid;  // one measurement
    std::optional<std::string> Job;
    std::optional<std::string> Script;       // the scripted run's description
    std::optional<std::int64_t> RunStarted;  // when the scripted run's first trace was taken
    std::optional<std::string> Test;         // the script element's postfix
    std::optional<std::string> Criterion;    // the criterion's name as used
    std::optional<std::string> Station;      // the station's name
    std::optional<std::string> Operator;
    std::optional<std::int64_t> Since;  // from this time on
    std::optional<std::int64_t> Until;  // before this time
    bool WithProfiles = false;          // read the 750-point profiles too
};

// What one Store did.
struct StoreCounts {
    std::size_t Stored = 0;
    std::size_t AlreadyPresent = 0;  // their UUID was stored before

    bool operator==(const StoreCounts&) const = default;
};

// A results database: the measurements of one station or of a floor of them.
class ResultsStore {
  public:
    virtual ~ResultsStore() = default;

    // Stores the measurements in one transaction: all of them or, on failure,
    // none. A measurement whose UUID is stored already is counted and left
    // as it is, so that sending one twice never stores it twice.
    virtual Result<StoreCounts> Store(std::span<const Measurement> measurements) = 0;
    // The measurements that pass `filter`, oldest first (by time, then by the
    // order they were stored in).
    virtual Result<std::vector<Measurement>> Query(const MeasurementFilter& filter) = 0;
    // The same selection in the same order, reading only what the lot
    // statistics need (`WithProfiles` is not looked at). A store that has
    // no leaner way summarises what Query reads.
    virtual Result<std::vector<MeasurementSummary>> QuerySummaries(const MeasurementFilter& filter);
    // What the last failure was: worth trying again later, or refused.
    virtual StoreProblem LastProblem() const = 0;
};

// Connects to the database at `location` and brings its schema up to date
// (an SQLite file is created when missing). `problem` says what kind a
// failure is; `abandon` gives up a wait under way (see SqlConnection).
Result<std::unique_ptr<ResultsStore>> OpenResultsStore(const ResultsLocation& location,
                                                       StoreProblem& problem,
                                                       Abandon abandon = nullptr);

// The store over a connection that is already open and migrated.
std::unique_ptr<ResultsStore> MakeSqlResultsStore(std::unique_ptr<SqlConnection> connection);

}  // namespace orvik::results
