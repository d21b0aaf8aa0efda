// orvik-cli stats through the real command on an SQLite results database.
#include <cstdlib>

#include "cli/cli_run.h"
#include "results/results_location.h"
#include "results/results_store.h"
#include "results_test_data.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

class StatsCli : public ::testing::Test {
  protected:
    StatsCli() {
        ::setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
        ::unsetenv("ORVIK_RESULTS_URL");
        // J-7's -ONE test (element 3, one coupon) was measured first, then its
        // -SE test (element 1: the lot statistics_reference.py works, one
        // coupon failed), then its -DIFF test (element 2: nine coupons, the
        // fifth far off). J-8 is another job.
        Add("J-7", "-ONE", 3, 50.5, 45.0, 55.0, true);
        const double se[] = {50.12, 49.87, 50.31, 50.05, 49.66, 50.48,
                             50.22, 49.94, 50.09, 50.37, 49.78, 50.15};
        for (int i = 0; i < 12; ++i) {
            Add("J-7", "-SE", 1, se[i], 49.5, 50.8, i != 3);
        }
        const double diff[] = {100.1, 99.9, 100.1, 99.9, 104.0, 99.9, 100.1, 99.9, 100.1};
        for (int i = 0; i < 9; ++i) {
            Add("J-7", "-DIFF", 2, diff[i], 90.0, 110.0, true);
        }
        Add("J-8", "-SE", 1, 60.0, 45.0, 55.0, false);
        results::StoreProblem problem;
        auto store = results::OpenResultsStore(*results::ParseResultsLocation(database), problem);
        EXPECT_TRUE(store.Ok());
        EXPECT_TRUE(store.Value()->Store(measurements).Ok());
    }
    ~StatsCli() override { ::unsetenv("XDG_DATA_HOME"); }

    void Add(const std::string& job, const std::string& test, int position, double average,
             double minimum, double maximum, bool passed) {
        const std::int64_t time = 1'765'000'000 + static_cast<std::int64_t>(measurements.size());
        const std::string name = "C" + std::to_string(measurements.size()) + test;
        results::Measurement m = Made(job, test, time, "Bench 3", name);
        m.ElementPosition = position;
        m.Average = average;
        m.Judged.Name = test == "-DIFF" ? "DIFF 100" : "SE 50";
        m.Judged.MinimumImpedance = minimum;
        m.Judged.MaximumImpedance = maximum;
        m.Passed = passed;
        measurements.push_back(m);
    }

    static std::string Between(const std::string& text, const std::string& from,
                               const std::string& to) {
        const std::size_t start = text.find(from);
        const std::size_t end = text.find(to, start);
        return start == std::string::npos ? "" : text.substr(start, end - start);
    }

    TemporaryFolder folder;
    const std::string database = folder.File("floor.sqlite");
    std::vector<results::Measurement> measurements;
};

TEST_F(StatsCli, PrintsEachTestOfTheJobInScriptOrder) {
    const CliRun run = RunTool({"stats", "--results", database, "--job", "J-7"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\n  \"job\": \"J-7\",\n  \"tests\": [", 0), 0u) << run.out;
    const std::size_t se = run.out.find("\"test\": \"-SE\"");
    const std::size_t diff = run.out.find("\"test\": \"-DIFF\"");
    const std::size_t one = run.out.find("\"test\": \"-ONE\"");
    EXPECT_TRUE(se < diff && diff < one) << run.out;

    // The -SE lot against the figures Python's statistics module gives.
    const std::string seText = Between(run.out, "\"test\": \"-SE\"", "\"test\": \"-DIFF\"");
    for (const char* field :
         {"\"criterion\": \"SE 50\"", "\"n\": 12,", "\"mean\": 50.0866666666666",
          "\"sd\": 0.2437708810014", "\"min\": 49.66,", "\"max\": 50.48,",
          "\"yield\": 0.91666666666666", "\"cp\": 0.8888127481696", "\"cpk\": 0.802210480399",
          "\"violations\": [],", "\"not_computable\": null"}) {
        EXPECT_NE(seText.find(field), std::string::npos) << field << "\n" << seText;
    }
    // The coupon at 104 ohms is beyond the -DIFF chart's limits.
    const std::string diffText = Between(run.out, "\"test\": \"-DIFF\"", "\"test\": \"-ONE\"");
    EXPECT_NE(diffText.find("\"violations\": [\n        {\n          \"rule\": 1,\n          "
                            "\"name\": \"C17-DIFF\"\n        }\n      ],"),
              std::string::npos)
        << diffText;
    // One coupon: what it can give, and why the rest is null.
    EXPECT_NE(
        run.out.find("\"n\": 1,\n      \"mean\": 50.5,\n      \"sd\": null,\n      \"min\": "
                     "50.5,\n      \"max\": 50.5,\n      \"yield\": 1,\n      \"cp\": null,\n"
                     "      \"cpk\": null,\n      \"violations\": [],\n      "
                     "\"not_computable\": \"one measurement: the spread needs at least two\""),
        std::string::npos)
        << run.out;
}

TEST_F(StatsCli, SelectsATestOrATimeAndWritesCsv) {
    const CliRun csv =
        RunTool({"stats", "--results", database, "--job", "J-7", "--test", "-DIFF", "--csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
              "test,criterion,n,mean,sd,min,max,yield,cp,cpk,violations,not_computable");
    EXPECT_EQ(csv.out.substr(csv.out.find("\r\n") + 2, 20), "-DIFF,DIFF 100,9,100");
    EXPECT_NE(csv.out.find(",104,1,"), std::string::npos) << csv.out;  // all passed
    EXPECT_NE(csv.out.find(",rule 1 at C17-DIFF,\r\n"), std::string::npos) << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 2);

    // From the -SE lot's seventh coupon on: the -ONE test is gone, six -SE remain.
    const CliRun since = RunTool(
        {"stats", "--results", database, "--job", "J-7", "--since", "2025-12-06T05:46:47Z"});
    ASSERT_EQ(since.exitCode, 0) << since.err;
    EXPECT_EQ(since.out.find("-ONE"), std::string::npos) << since.out;
    EXPECT_NE(since.out.find("\"n\": 6,"), std::string::npos) << since.out;
    EXPECT_EQ(RunTool({"stats", "--results", database, "--job", "J-9"}).out,
              "{\n  \"job\": \"J-9\",\n  \"tests\": []\n}\n");
}

TEST_F(StatsCli, BadUsageIsRefused) {
    const struct {
        std::vector<std::string> words;
        std::string says;
    } cases[] = {
        {{"stats", "--results", database}, "name the job with --job"},
        {{"stats", "--job", "J-7", "--csv", "--json"}, "not both"},
        {{"stats", "--job", "J-7", "--since", "yesterday"}, "--since must be a date"},
        {{"stats", "--job", "J-7", "--results", "mysql://db/x"}, "neither PostgreSQL nor a file"},
        {{"stats", "--job", "J-7", "--lot", "4"}, "unexpected argument --lot"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunTool(c.words);
        EXPECT_EQ(run.exitCode, 2) << c.words.back();
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

}  // namespace
}  // namespace orvik::testing
