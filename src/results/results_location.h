#pragma once

#include <optional>
#include <string>

#include "base/failure.h"

namespace orvik::results {

enum class Backend { Sqlite, Postgres };

// Where measurements are stored: an SQLite file (a path, or sqlite:PATH) or
// a PostgreSQL server (a postgresql:// or postgres:// connection URL, as
// libpq reads it).
struct ResultsLocation {
    Backend Kind = Backend::Sqlite;
    std::string Text;  // as given; a URL may hold a password
    std::string Path;  // the SQLite file
    // Why the text names no database it could use: every attempt is refused
    // with this, so that measurements wait until a usable one is named.
    std::optional<Failure> Unusable;

    // For messages, the log and the outbox: the text with any password left out.
    std::string Shown() const;
};

// Reads a location. Fails, with a message for the operator, for an empty
// text, a URL of another scheme and a PostgreSQL URL that does not parse.
Result<ResultsLocation> ParseResultsLocation(const std::string& text);
// The location named by `text`, usable or not (then Unusable says why).
ResultsLocation LocationOrUnusable(const std::string& text);

// The embedded file: $XDG_DATA_HOME/orvik/results.sqlite, else
// ~/.local/share/orvik/results.sqlite.
std::string DefaultResultsPath();
// Where measurements wait while their database cannot take them, beside it.
std::string DefaultOutboxPath();
// The environment variable that names a station's results database.
inline constexpr const char* kResultsUrlVariable = "ORVIK_RESULTS_URL";

// `url` with the password of its user part and any password parameter
// replaced by "***".
std::string WithoutPassword(const std::string& url);

}  // namespace orvik::results
