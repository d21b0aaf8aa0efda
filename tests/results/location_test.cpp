// Which database a station's setting names, and how it is shown.
#include <gtest/gtest.h>

#include "results/results_location.h"

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
