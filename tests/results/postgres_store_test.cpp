// A real PostgreSQL server: the store contract, and what a floor's server can
// do wrong.
#include <algorithm>
#include <cstdlib>

#include "cli/cli_run.h"
#include "postgres_server.h"
#include "results/results_location.h"
#include "results_test_data.h"
#include "store_contract_test.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

using results::StoreProblem;

INSTANTIATE_TEST_SUITE_P(Postgres, StoreContract,
                         ::testing::Values(StoreBackend{
                             "Postgres", [] {
                                 PostgresServer& server = SharedPostgresServer();
                                 return *results::ParseResultsLocation(
                                     server.Url(server.CreateDatabase()));
                             }}));

results::ResultsLocation Location(const std::string& url) {
    auto location = results::ParseResultsLocation(url);
    EXPECT_TRUE(location.Ok()) << url;
    return *location;
}

TEST(PostgresStore, AWrongPasswordIsRefusedSayingSoWithoutShowingIt) {
    PostgresServer& server = SharedPostgresServer();
    StoreProblem problem = StoreProblem::None;
    const auto store = results::OpenResultsStore(
        Location(server.Url(server.CreateDatabase(), "not-the-password")), problem);
    ASSERT_FALSE(store.Ok());
    EXPECT_EQ(problem, StoreProblem::Refused);
    EXPECT_NE(store.Error().Message.find("password authentication failed"), std::string::npos)
        << store.Error().Message;
    EXPECT_EQ(store.Error().Message.find("not-the-password"), std::string::npos);
}

TEST(PostgresStore, ServerThatIsNotThereIsUnreachable) {
    PostgresServer& server = SharedPostgresServer();
    StoreProblem problem = StoreProblem::None;
    const auto store = results::OpenResultsStore(
        Location("postgresql://orvik@/results?host=" + server.Folder().string() + "/none"),
        problem);
    ASSERT_FALSE(store.Ok());
    EXPECT_EQ(problem, StoreProblem::Unreachable);
    EXPECT_NE(store.Error().Message.find("cannot be reached"), std::string::npos)
        << store.Error().Message;
}

// A statement the server holds (another session locked the table) is given
// up when closing time is up, as a server that never answers is.
TEST(PostgresStore, ClosingDoesNotWaitForAStatementTheServerHolds) {
    PostgresServer& server = SharedPostgresServer();
    const std::string url = server.Url(server.CreateDatabase());
    StoreProblem problem = StoreProblem::None;
    ASSERT_TRUE(results::OpenResultsStore(Location(url), problem).Ok());
    auto holder = results::ConnectPostgres(url, problem);
    ASSERT_TRUE(holder.Ok());
    ASSERT_TRUE(
        (*holder)->ExecuteScript("BEGIN; LOCK TABLE measurements IN ACCESS EXCLUSIVE MODE").Ok());
    TemporaryFolder folder;
    ExpectClosingInTime(url, folder.File("outbox.sqlite"));
}

TEST(PostgresStore, ABatchThatFailsHalfwayStoresNothing) {
    PostgresServer& server = SharedPostgresServer();
    StoreProblem problem = StoreProblem::None;
    auto store = results::OpenResultsStore(Location(server.Url(server.CreateDatabase())), problem);
    ASSERT_TRUE(store.Ok());
    std::vector<results::Measurement> batch = SampleMeasurements();
    batch[1].Name = "\xFF not UTF-8";  // the server refuses the second
    ASSERT_FALSE(store.Value()->Store(batch).Ok());
    EXPECT_EQ(store.Value()->LastProblem(), StoreProblem::Refused);
    EXPECT_TRUE(store.Value()->Query({})->empty());
    batch[1].Name = "LOT4471-1001-SE";
    EXPECT_EQ(*store.Value()->Store(batch), (results::StoreCounts{3, 0}));
}

TEST(PostgresStore, AKilledServerIsUnreachableUntilItIsBack) {
    PostgresServer& server = SharedPostgresServer();
    StoreProblem problem = StoreProblem::None;
    const results::ResultsLocation location = Location(server.Url(server.CreateDatabase()));
    auto store = results::OpenResultsStore(location, problem);
    ASSERT_TRUE(store.Ok());
    server.Kill();
    EXPECT_FALSE(store.Value()->Store(std::vector{SampleMeasurements()[0]}).Ok());
    EXPECT_EQ(store.Value()->LastProblem(), StoreProblem::Unreachable);
    server.Start();
    auto again = results::OpenResultsStore(location, problem);
    ASSERT_TRUE(again.Ok()) << again.Error().Message;
    EXPECT_EQ(*again.Value()->Store(SampleMeasurements()), (results::StoreCounts{3, 0}));
}

}  // namespace
}  // namespace orvik::testing

namespace orvik::testing {
namespace {

// A station's automation given the wrong password: the run is kept (the
// collection is saved), the command fails saying why and where the
// measurements wait, and the next run with the right password sends them
// before its own.
TEST(PostgresStore, ARunRefusedForItsPasswordKeepsItsMeasurementsForTheNextRun) {
    PostgresServer& server = SharedPostgresServer();
    TemporaryFolder folder;
    ::setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
    const std::string database = server.CreateDatabase();
    const std::string criteria = folder.File("criteria.dat");
    WriteFile(criteria, ReadFile(std::string(ORVIK_SAMPLES_DIR) + "/criteria.dat"));
    const auto batch = [&](const std::string& out, const std::string& password) {
        return RunTool({"run-script", "--simulate", "--criteria", criteria, "--script",
                        "Lot impedance", "--coupons", "2", "--out", folder.File(out), "--results",
                        server.Url(database, password)});
    };
    const CliRun refused = batch("first.tdr", "wrong-password");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("4 measurements are not stored"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("password authentication failed"), std::string::npos);
    EXPECT_NE(refused.err.find(folder.File("orvik/results-outbox.sqlite")), std::string::npos);
    EXPECT_EQ(refused.err.find("wrong-password"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder.File("first.tdr")));

    const CliRun accepted = batch("second.tdr", PostgresServer::kPassword);
    EXPECT_EQ(accepted.exitCode, 0) << accepted.err;
    const CliRun listed = RunTool({"results", "--results", server.Url(database), "--csv"});
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 9);  // header and eight
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace orvik::testing
