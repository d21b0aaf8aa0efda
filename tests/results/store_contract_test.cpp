// What every results store promises, run against each back end: SQLite here,
// a real PostgreSQL server in the postgres tests.
#include "store_contract_test.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "results/results_schema.h"
#include "results_test_data.h"

namespace orvik::testing {
namespace {

using results::Measurement;
using results::MeasurementFilter;
using results::StoreCounts;
using results::StoreProblem;

std::unique_ptr<results::ResultsStore> Open(const results::ResultsLocation& location) {
    StoreProblem problem = StoreProblem::None;
    auto store = results::OpenResultsStore(location, problem);
    EXPECT_TRUE(store.Ok()) << (store ? "" : store.Error().Message);
    return store ? std::move(*store) : nullptr;
}

template <typename Read>
std::vector<std::string> Names(const std::vector<Read>& measurements) {
    std::vector<std::string> names;
    for (const Read& m : measurements) {
        names.push_back(m.Name);
    }
    return names;
}

TEST_P(StoreContract, KeepsEveryFieldOfWhatItStores) {
    std::vector<Measurement> sample = SampleMeasurements();
    // What collections can hold too: a window without samples, text beyond
    // ASCII, a measurement with no station, instrument or run.
    sample[0].Average = sample[0].Deviation = std::nan("");
    sample[1].Name = "LOT4471-1001-SE \xC2\xB5";
    sample[2].Station.reset();
    sample[2].Instrument.reset();
    auto store = Open(GetParam().Make());
    ASSERT_TRUE(store);
    ASSERT_EQ(*store->Store(sample), (StoreCounts{3, 0}));

    MeasurementFilter everything;
    everything.WithProfiles = true;
    const auto withProfiles = store->Query(everything);
    ASSERT_TRUE(withProfiles.Ok()) << withProfiles.Error().Message;
    ASSERT_EQ(withProfiles->size(), 3u);
    for (std::size_t i = 0; i < sample.size(); ++i) {
        ExpectSame(sample[i], (*withProfiles)[i]);
    }
    const auto without = store->Query({});
    ASSERT_TRUE(without.Ok());
    EXPECT_FALSE(without->front().Profile.has_value());
    // The statistics' lean reading gives what the whole one does.
    const auto summaries = store->QuerySummaries(everything);
    ASSERT_TRUE(summaries.Ok()) << summaries.Error().Message;
    ASSERT_EQ(summaries->size(), sample.size());
    for (std::size_t i = 0; i < sample.size(); ++i) {
        results::MeasurementSummary expected = results::SummaryOf(sample[i]);
        results::MeasurementSummary read = (*summaries)[i];
        EXPECT_EQ(std::isnan(read.Average), std::isnan(expected.Average));
        if (std::isnan(expected.Average)) {
            expected.Average = read.Average = 0.0;
        }
        EXPECT_EQ(read, expected) << i;
    }
}

TEST_P(StoreContract, SendingTwiceStoresOnce) {
    const std::vector<Measurement> sample = SampleMeasurements();
    const results::ResultsLocation location = GetParam().Make();
    auto store = Open(location);
    ASSERT_TRUE(store);
    EXPECT_EQ(*store->Store(sample), (StoreCounts{3, 0}));
    EXPECT_EQ(*store->Store(sample), (StoreCounts{0, 3}));
    const std::vector<Measurement> twiceInOne = {Made("J-1", "-SE", 10, "B", "x"),
                                                 Made("J-1", "-SE", 10, "B", "x")};
    EXPECT_EQ(*store->Store(twiceInOne), (StoreCounts{1, 1}));
    // A second connection, as a second station, finds them stored too.
    auto other = Open(location);
    ASSERT_TRUE(other);
    EXPECT_EQ(*other->Store(sample), (StoreCounts{0, 3}));
    EXPECT_EQ(store->Query({})->size(), 4u);
}

TEST_P(StoreContract, SelectsByEveryConditionOldestFirst) {
    // Stored out of time order, from two stations.
    std::vector<Measurement> all = {
        Made("J-1", "-SE", 300, "A", "c"), Made("J-1", "-DIFF", 100, "A", "a"),
        Made("J-2", "-SE", 200, "B", "b"), Made("J-1", "-SE", 400, "B", "d"),
        Made("J-2", "-DIFF", 500, "A", "e")};
    all[3].Operator = "lee";
    all[4].Judged.Name = "Diff 100 ohm";
    all[1].Run->Script = "Second lot";  // another run of the same job
    all[2].Run->Started = 7;
    auto store = Open(GetParam().Make());
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Store(all).Ok());

    using Condition = void (*)(MeasurementFilter&);
    const struct {
        Condition condition;
        std::vector<std::string> names;
    } cases[] = {
        {[](MeasurementFilter&) {}, {"a", "b", "c", "d", "e"}},
        {[](MeasurementFilter& f) { f.Job = "J-1"; }, {"a", "c", "d"}},
        {[](MeasurementFilter& f) { f.Job = "J-1", f.Test = "-SE"; }, {"c", "d"}},
        {[](MeasurementFilter& f) { f.Criterion = "Diff 100 ohm"; }, {"e"}},
        {[](MeasurementFilter& f) { f.Station = "B"; }, {"b", "d"}},
        {[](MeasurementFilter& f) { f.Operator = "lee"; }, {"d"}},
        {[](MeasurementFilter& f) { f.Since = 200; }, {"b", "c", "d", "e"}},
        {[](MeasurementFilter& f) { f.Since = 200, f.Until = 400; }, {"b", "c"}},
        {[](MeasurementFilter& f) { f.Job = "J-3"; }, {}},
        {[](MeasurementFilter& f) { f.Script = "Second lot"; }, {"a"}},
        {[](MeasurementFilter& f) { f.Job = "J-2", f.RunStarted = 7; }, {"b"}},
        {[](MeasurementFilter& f) { f.Uuid = Made("J-1", "-SE", 400, "B", "d").Uuid; }, {"d"}},
    };
    for (const auto& c : cases) {
        MeasurementFilter filter;
        c.condition(filter);
        const auto found = store->Query(filter);
        ASSERT_TRUE(found.Ok()) << found.Error().Message;
        EXPECT_EQ(Names(*found), c.names);
        const auto summaries = store->QuerySummaries(filter);
        ASSERT_TRUE(summaries.Ok()) << summaries.Error().Message;
        EXPECT_EQ(Names(*summaries), c.names);
    }
}

TEST_P(StoreContract, ANewerSchemaIsRefusedAndLeftAsItIs) {
    const results::ResultsLocation location = GetParam().Make();
    auto store = Open(location);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Store(SampleMeasurements()).Ok());
    store.reset();
    StoreProblem problem = StoreProblem::None;
    auto connection = results::Connect(location, problem);
    ASSERT_TRUE(connection.Ok());
    ASSERT_TRUE((*connection)->ExecuteScript("UPDATE orvik_schema SET version = 99").Ok());

    const auto refused = results::OpenResultsStore(location, problem);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(problem, StoreProblem::Refused);
    EXPECT_NE(refused.Error().Message.find("newer Orvik (schema version 99"), std::string::npos)
        << refused.Error().Message;
    EXPECT_EQ(*results::SchemaVersion(**connection), 99);
    EXPECT_EQ(results::IntOf((*connection)->Execute("SELECT count(*) FROM measurements")->at(0)[0]),
              3);
}

TEST_P(StoreContract, MigratesOnceStepByStepKeepingWhatIsStored) {
    const results::ResultsLocation location = GetParam().Make();
    auto store = Open(location);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Store(SampleMeasurements()).Ok());
    StoreProblem problem = StoreProblem::None;
    auto connection = results::Connect(location, problem);
    ASSERT_TRUE(connection.Ok());
    results::SqlConnection& db = **connection;
    EXPECT_EQ(*results::SchemaVersion(db), results::CurrentSchemaVersion());

    // A later Orvik's step, on top of this one's.
    std::vector<results::Migration> later(results::ResultsMigrations().begin(),
                                          results::ResultsMigrations().end());
    const char* addColumn = "ALTER TABLE measurements ADD COLUMN humidity REAL";
    later.push_back({results::CurrentSchemaVersion() + 1, addColumn, addColumn});
    EXPECT_EQ(*results::Migrate(db, later, problem), results::CurrentSchemaVersion() + 1);
    EXPECT_EQ(*results::Migrate(db, later, problem), results::CurrentSchemaVersion() + 1);
    EXPECT_EQ(
        results::IntOf(db.Execute("SELECT count(humidity) + count(*) FROM measurements")->at(0)[0]),
        3);
    // And this Orvik, meeting that database, refuses it.
    EXPECT_FALSE(results::Migrate(db, results::ResultsMigrations(), problem).Ok());
    EXPECT_EQ(problem, StoreProblem::Refused);
}

TEST_P(StoreContract, StationsStartingTogetherMigrateANewDatabaseOnce) {
    const results::ResultsLocation location = GetParam().Make();
    std::vector<std::thread> stations;
    std::vector<int> opened(6, 0);
    for (std::size_t i = 0; i < opened.size(); ++i) {
        stations.emplace_back([&, i] {
            StoreProblem problem = StoreProblem::None;
            auto store = results::OpenResultsStore(location, problem);
            opened[i] =
                store &&
                store.Value()->Store(std::vector{Made("J", "-SE", 1, "S", std::to_string(i))}).Ok();
        });
    }
    for (std::thread& station : stations) {
        station.join();
    }
    EXPECT_EQ(std::count(opened.begin(), opened.end(), 1), 6);
    EXPECT_EQ(Open(location)->Query({})->size(), 6u);
}

}  // namespace
}  // namespace orvik::testing
