// A site starts with its past: collections brought in once, however often
// the import runs, and nothing twice that a station recorded already.
#include <gtest/gtest.h>

#include "results/results_import.h"
#include "results_test_data.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

TEST(ResultsImport, ImportingTwiceAddsNothingAndRecordedTracesAreNotAddedAgain) {
    TemporaryFolder folder;
    results::StoreProblem problem;
    auto store = results::OpenResultsStore(
        *results::ParseResultsLocation(folder.File("results.sqlite")), problem);
    ASSERT_TRUE(store.Ok());
    // The station filed the scripted coupon's first test before the import.
    ASSERT_TRUE(store.Value()->Store(std::vector{SampleMeasurements()[1]}).Ok());

    const std::string sample = std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr";
    const std::string copy = folder.File("copy.tdr");
    WriteFile(copy, ReadFile(sample));
    const std::vector<std::string> files = {sample, copy};
    const auto first = results::ImportCollections(files, **store);
    ASSERT_TRUE(first.Ok()) << first.Error().Message;
    EXPECT_EQ(first->Imported, 2u);
    EXPECT_EQ(first->AlreadyPresent, 4u);  // the filed one, and the copy's three
    const auto second = results::ImportCollections(files, **store);
    EXPECT_EQ(second->Imported, 0u);
    EXPECT_EQ(second->AlreadyPresent, 6u);

    const auto stored = store.Value()->Query({});
    ASSERT_EQ(stored->size(), 3u);
    EXPECT_EQ(stored->at(0).CollectionFile, sample);
    EXPECT_FALSE(stored->at(0).Station.has_value());    // nobody knows which bench it was
    EXPECT_EQ(stored->at(1).Station->Name, "Bench 3");  // as the station filed it
}

TEST(ResultsImport, AFileThatIsNoCollectionStopsTheImportNamingIt) {
    TemporaryFolder folder;
    results::StoreProblem problem;
    auto store = results::OpenResultsStore(
        *results::ParseResultsLocation(folder.File("results.sqlite")), problem);
    ASSERT_TRUE(store.Ok());
    const std::string broken = folder.File("broken.tdr");
    WriteFile(broken, {4, 0, 0, 0, 1});
    const std::vector<std::string> files = {std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr", broken};
    const auto imported = results::ImportCollections(files, **store);
    ASSERT_FALSE(imported.Ok());
    EXPECT_NE(imported.Error().Message.find(broken + ": Unexpected file format."),
              std::string::npos)
        << imported.Error().Message;
    EXPECT_EQ(store.Value()->Query({})->size(), 3u);  // the first file's stay
}

}  // namespace
}  // namespace orvik::testing
