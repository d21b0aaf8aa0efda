#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/failure.h"
#include "results/results_location.h"

namespace orvik::results {

// Why a database did not do what it was asked.
enum class StoreProblem {
    None,
    Unreachable,  // it could not be reached, or went away: try again later
    Refused,      // it answered no (password, permissions, a full disk, a newer schema)
};

using SqlBlob = std::vector<std::uint8_t>;
// A parameter or a column value; a null is std::monostate.
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string, SqlBlob>;
using SqlRow = std::vector<SqlValue>;

// Column values read back; a null reads as 0, not-a-number or "".
std::int64_t IntOf(const SqlValue& value);
double DoubleOf(const SqlValue& value);
std::string TextOf(const SqlValue& value);
bool IsNull(const SqlValue& value);

// One connection to a results database, the only place that knows its C
// client library. Statements number their parameters $1, $2, ... in both
// dialects. Used by one thread at a time.
class SqlConnection {
  public:
    virtual ~SqlConnection() = default;

    virtual Backend Dialect() const = 0;
    // Where it is, for messages: the file, or the URL without its password.
    virtual const std::string& Shown() const = 0;
    // Runs one statement; the rows it gives, if any.
    virtual Result<std::vector<SqlRow>> Execute(std::string_view sql,
                                                std::span<const SqlValue> parameters = {}) = 0;
    // Runs one statement and hands its rows to `row` one by one, each valid
    // only during the call: a long listing is read without being held whole.
    virtual Status ExecuteEach(std::string_view sql, std::span<const SqlValue> parameters,
                               const std::function<void(const SqlRow&)>& row);
    // Runs statements without parameters, separated by semicolons.
    virtual Status ExecuteScript(std::string_view sql) = 0;
    // What the last failure was.
    StoreProblem LastProblem() const { return problem_; }

  protected:
    StoreProblem problem_ = StoreProblem::None;
};

// Set to give up: a connection under way, a statement waiting for the
// server or for another program's lock ends at once as Unreachable (the
// connection is then of no further use). Either way a connection or a
// lock is waited for at most ten seconds; with a flag, a PostgreSQL
// statement at most a minute, without one as long as the server works.
using Abandon = const std::atomic<bool>*;

// Opens the database at `location`: the SQLite file is created (with its
// folder) when missing; a PostgreSQL server is connected to. The failure's
// kind is in `problem`.
Result<std::unique_ptr<SqlConnection>> Connect(const ResultsLocation& location,
                                               StoreProblem& problem, Abandon abandon = nullptr);

Result<std::unique_ptr<SqlConnection>> ConnectSqlite(const std::string& path, StoreProblem& problem,
                                                     Abandon abandon = nullptr);
Result<std::unique_ptr<SqlConnection>> ConnectPostgres(const std::string& url,
                                                       StoreProblem& problem,
                                                       Abandon abandon = nullptr);

// What a failed PostgreSQL connection's message means: a server that turned
// the connection away for good (a password, a missing database) refuses; one
// not reached, starting, stopping, full or going down is only unreachable now.
StoreProblem PostgresConnectProblem(const std::string& message);

}  // namespace orvik::results
