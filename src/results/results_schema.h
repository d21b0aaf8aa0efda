#pragma once

#include <span>
#include <string>

#include "base/failure.h"
#include "results/sql_connection.h"

namespace orvik::results {

// One step of the results schema: the statements that bring a database of
// the version before it to `Version`, in each dialect.
struct Migration {
    int Version;
    std::string Sqlite;
    std::string Postgres;
};

// Every step from an empty database to the schema this Orvik writes, in order.
std::span<const Migration> ResultsMigrations();
// The schema this Orvik writes: the last step's version.
int CurrentSchemaVersion();

// Brings the database up to the last of `migrations`, each step in one
// transaction with the version it reaches, so that stations starting at once
// against a new server migrate it once. A database of a later version than
// the last step is refused (StoreProblem::Refused), changed in nothing. The
// version the database has afterwards; on failure `problem` says its kind.
Result<int> Migrate(SqlConnection& connection, std::span<const Migration> migrations,
                    StoreProblem& problem);

// The version the database is at; 0 when it has no results schema yet.
Result<int> SchemaVersion(SqlConnection& connection);

}  // namespace orvik::results
