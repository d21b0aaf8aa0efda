// orvik-cli's side of the results database: import and results, and the
// storing of run-script and measure, which happens only when asked.
#include <cstdlib>

#include "cli/cli_run.h"
#include "results/results_location.h"
#include "results/results_store.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

const std::string kSample = std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr";
const std::string kCriteria = std::string(ORVIK_SAMPLES_DIR) + "/criteria.dat";

// A station of its own: its data folder (the embedded file, the outbox) and
// no ORVIK_RESULTS_URL unless a test sets one.
class ResultsCli : public ::testing::Test {
  protected:
    ResultsCli() {
        ::setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
        ::unsetenv("ORVIK_RESULTS_URL");
    }
    ~ResultsCli() override {
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("ORVIK_RESULTS_URL");
    }
    std::vector<results::Measurement> Stored(const std::string& path) {
        results::StoreProblem problem;
        auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
        EXPECT_TRUE(store.Ok());
        results::MeasurementFilter everything;
        everything.WithProfiles = true;
        auto found = store.Value()->Query(everything);
        return found ? *found : std::vector<results::Measurement>{};
    }
    static std::size_t Count(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1)) {
            ++count;
        }
        return count;
    }

    TemporaryFolder folder;
    const std::string embedded = folder.File("orvik/results.sqlite");
};

TEST_F(ResultsCli, ImportsOnceAndListsAsJsonOrCsv) {
    CliRun first = RunTool({"import", kSample});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "{\n  \"imported\": 3,\n  \"already_present\": 0\n}\n");
    EXPECT_EQ(RunTool({"import", kSample}).out,
              "{\n  \"imported\": 0,\n  \"already_present\": 3\n}\n");

    const CliRun job = RunTool({"results", "--job", "J-2209"});
    ASSERT_EQ(job.exitCode, 0) << job.err;
    EXPECT_EQ(Count(job.out, "\"uuid\""), 2u);
    for (const char* field :
         {"\"station\": null", "\"job\": \"J-2209\"", "\"script\": \"Lot 4471 impedance\"",
          "\"coupon\": \"1001\"", "\"test\": \"-SE\"", "\"test\": \"-DIFF\"",
          "\"time\": \"2026-12-08T11:35:00Z\"", "\"mode\": \"differential\"",
          "\"criterion\": {\n      \"name\": \"SE 50 ohm\""}) {
        EXPECT_NE(job.out.find(field), std::string::npos) << field << "\n" << job.out;
    }
    EXPECT_LT(job.out.find("LOT4471-1001-SE"), job.out.find("LOT4471-1001-DIFF"));  // oldest first

    const CliRun csv = RunTool({"results", "--csv", "--since", "2026-12-08T11:34:00Z"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(Count(csv.out, "\r\n"), 3u);  // the header and the two scripted traces
    EXPECT_EQ(csv.out.rfind("uuid,station,instrument_serial,operator,job,", 0), 0u);
    EXPECT_EQ(RunTool({"results", "--since", "2027-01-01"}).out, "[]\n");
}

TEST_F(ResultsCli, BadUsageIsRefusedBeforeAnythingIsStored) {
    const struct {
        std::vector<std::string> words;
        std::string says;
    } cases[] = {
        {{"results", "--csv", "--json"}, "not both"},
        {{"results", "--since", "8/12/2026"}, "--since must be a date"},
        {{"results", "--csv=no"}, "--csv takes no value"},
        {{"results", "--job", "J-\u03a9"}, "(U+03A9) cannot be stored"},
        {{"results", "--results", "mysql://db/results"}, "neither PostgreSQL nor a file"},
        {{"import"}, "at least one collection"},
        {{"import", kSample, "--results", "postgresql://db:none/results"}, "invalid port"},
        {{"measure", "--simulate", "--results", ""}, "it is empty"},
        {{"run-script", "--simulate", "--criteria", kCriteria, "--script", "Lot impedance",
          "--coupons", "1", "--results", "ftp://x"},
         "neither PostgreSQL nor a file"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunTool(c.words);
        EXPECT_EQ(run.exitCode, 2) << c.words.front();
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(embedded));
}

TEST_F(ResultsCli, RunScriptStoresOnlyWhenAskedAndAnImportOfItsCollectionAddsNothing) {
    const std::string criteria = folder.File("criteria.dat");
    WriteFile(criteria, ReadFile(kCriteria));
    const std::string out = folder.File("batch.tdr");
    const std::vector<std::string> batch = {
        "run-script",    "--simulate", "--criteria", criteria, "--script",
        "Lot impedance", "--coupons",  "2",          "--out",  out};
    ASSERT_EQ(RunTool(batch).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(embedded)) << "stored without being asked";

    std::filesystem::remove(out);
    const std::string database = folder.File("floor.sqlite");
    std::vector<std::string> stored = batch;
    stored.insert(stored.end(), {"--results", database});
    const CliRun run = RunTool(stored);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<results::Measurement> measurements = Stored(database);
    ASSERT_EQ(measurements.size(), 4u);
    for (const results::Measurement& m : measurements) {
        ASSERT_TRUE(m.Station && m.Instrument && m.Run && m.Test && m.Profile);
        EXPECT_EQ(m.Instrument->Serial, "SIM0300001");
        EXPECT_EQ(m.Run->Script, "Lot impedance");
        EXPECT_EQ(m.CollectionFile, out);
    }
    EXPECT_EQ(RunTool({"import", out, "--results", database}).out,
              "{\n  \"imported\": 0,\n  \"already_present\": 4\n}\n");

    // ORVIK_RESULTS_URL names the station's database for import and results.
    ::setenv("ORVIK_RESULTS_URL", database.c_str(), 1);
    EXPECT_EQ(Count(RunTool({"results"}).out, "\"uuid\""), 4u);
    EXPECT_FALSE(std::filesystem::exists(embedded));
}

TEST_F(ResultsCli, MeasureStoresItsTestWithResults) {
    const std::string database = folder.File("bench.sqlite");
    const CliRun run =
        RunTool({"measure", "--simulate", "--mode", "differential", "--results", database});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<results::Measurement> stored = Stored(database);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].Mode, MeasurementMode::Differential);
    EXPECT_FALSE(stored[0].Run.has_value());
    ASSERT_TRUE(stored[0].Profile.has_value());
    EXPECT_EQ(stored[0].Profile->Impedance.size(), 750u);
}

}  // namespace
}  // namespace orvik::testing
