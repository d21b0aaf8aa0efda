// Which database a station's setting names, and how it is shown.
#include <gtest/gtest.h>

#include <utility>

#include "results/results_location.h"
#include "results/sql_connection.h"

namespace orvik::testing {
namespace {

using results::Backend;

TEST(ResultsLocation, NamesAFileOrAServerOrIsRefusedWithTheReason) {
    const struct {
        std::string text;
        bool usable;
        Backend kind;
        std::string pathOrReason;
    } cases[] = {
        {"/var/lib/orvik/results.sqlite", true, Backend::Sqlite, "/var/lib/orvik/results.sqlite"},
        {"results.sqlite", true, Backend::Sqlite, "results.sqlite"},
        {"sqlite:/tmp/r.sqlite", true, Backend::Sqlite, "/tmp/r.sqlite"},
        {"postgresql://orvik@db.floor/results", true, Backend::Postgres, ""},
        {"postgres://orvik:pw@db.floor:5433/results?sslmode=require", true, Backend::Postgres, ""},
        {"postgresql:///results?host=/run/postgresql", true, Backend::Postgres, ""},
        {"", false, Backend::Sqlite, "it is empty"},
        {"sqlite:", false, Backend::Sqlite, "it names no file"},
        {"mysql://db/results", false, Backend::Sqlite, "neither PostgreSQL nor a file"},
        {"postgresql://db.floor:port/results", false, Backend::Sqlite, "invalid port"},
        {"postgresql://db.floor:99999/results", false, Backend::Sqlite, "invalid port"},
        {"postgresql://db/results?sslmode=always&nonsense=1", false, Backend::Sqlite, "nonsense"},
    };
    for (const auto& c : cases) {
        const auto location = results::ParseResultsLocation(c.text);
        ASSERT_EQ(location.Ok(), c.usable) << c.text;
        if (c.usable) {
            EXPECT_EQ(location->Kind, c.kind) << c.text;
            EXPECT_EQ(location->Path, c.pathOrReason) << c.text;
        } else {
            EXPECT_NE(location.Error().Message.find(c.pathOrReason), std::string::npos)
                << c.text << ": " << location.Error().Message;
        }
    }
}

TEST(ResultsLocation, APasswordIsNeverShown) {
    const struct {
        std::string url;
        std::string shown;
    } cases[] = {
        {"postgresql://orvik:s3cret@db/results", "postgresql://orvik:***@db/results"},
        {"postgresql://orvik:p@ss@db/results", "postgresql://orvik:***@db/results"},
        {"postgresql://orvik@db/results?password=s3cret&sslmode=require",
         "postgresql://orvik@db/results?password=***&sslmode=require"},
        {"postgresql://db:5432/results", "postgresql://db:5432/results"},
        {"postgresql://orvik:pw@/results?host=/tmp/x",
         "postgresql://orvik:***@/results?host=/tmp/x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(results::WithoutPassword(c.url), c.shown);
        const auto refused = results::ParseResultsLocation(c.url + "&port=x");
        if (!refused) {
            EXPECT_EQ(refused.Error().Message.find("s3cret"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace orvik::testing

namespace orvik::results {
namespace {

// The station keeps retrying what is only "not now" and tells the operator
// once about what is "no": a FATAL sent while the server goes down must not
// read as a refusal, or a station gives up with measurements waiting.
TEST(PostgresConnectProblem, NotNowIsUnreachableNoIsRefused) {
    const std::pair<const char*, StoreProblem> cases[] = {
        {"connection to server on socket \"/tmp/s/.s.PGSQL.5432\" failed: No such file or "
         "directory",
         StoreProblem::Unreachable},
        {"connection to server at \"db\" (10.0.0.2), port 5432 failed: Connection refused",
         StoreProblem::Unreachable},
        {"failed: FATAL:  the database system is starting up", StoreProblem::Unreachable},
        {"failed: FATAL:  the database system is in recovery mode", StoreProblem::Unreachable},
        {"failed: FATAL:  sorry, too many clients already", StoreProblem::Unreachable},
        {"failed: FATAL:  terminating connection due to unexpected postmaster exit",
         StoreProblem::Unreachable},
        {"failed: FATAL:  terminating connection due to administrator command",
         StoreProblem::Unreachable},
        {"failed: FATAL:  password authentication failed for user \"orvik\"",
         StoreProblem::Refused},
        {"failed: FATAL:  database \"results\" does not exist", StoreProblem::Refused},
        {"failed: FATAL:  no pg_hba.conf entry for host \"10.0.0.9\"", StoreProblem::Refused},
    };
    for (const auto& [message, problem] : cases) {
        EXPECT_EQ(PostgresConnectProblem(message), problem) << message;
    }
}

}  // namespace
}  // namespace orvik::results
