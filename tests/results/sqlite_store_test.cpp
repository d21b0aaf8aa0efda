// The embedded back end: the contract, and what a local file can do wrong.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "results/results_location.h"
#include "results_test_data.h"
#include "store_contract_test.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

namespace fs = std::filesystem;
using results::StoreProblem;

// Files for the contract's databases, removed when the tests end.
class SqliteFiles : public ::testing::Environment {
  public:
    static fs::path Next() {
        static int count = 0;
        return Folder() / ("results-" + std::to_string(++count) + ".sqlite");
    }
    static fs::path Folder() {
        static const fs::path folder =
            fs::temp_directory_path() / ("orvik-results-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        return folder;
    }
    void TearDown() override { fs::remove_all(Folder()); }
};
const auto* const kFiles = ::testing::AddGlobalTestEnvironment(new SqliteFiles);

INSTANTIATE_TEST_SUITE_P(Sqlite, StoreContract,
                         ::testing::Values(StoreBackend{"Sqlite", [] {
                                                            return *results::ParseResultsLocation(
                                                                SqliteFiles::Next().string());
                                                        }}));

TEST(SqliteStore, TheEmbeddedFileIsMadeInTheDataFolderOnFirstUse) {
    TemporaryFolder folder;
    ::setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
    const std::string path = results::DefaultResultsPath();
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(path, (folder.Path() / "orvik" / "results.sqlite").string());
    StoreProblem problem = StoreProblem::None;
    auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
    ASSERT_TRUE(store.Ok()) << store.Error().Message;
    EXPECT_TRUE(fs::is_regular_file(path));
}

// The embedded file stays small enough to keep a station's years: a
// measurement with its 3 KB profile takes under 4 KB of the file.
TEST(SqliteStore, AMeasurementWithItsProfileTakesUnderFourKilobytes) {
    TemporaryFolder folder;
    const std::string path = folder.File("results.sqlite");
    results::StoreProblem problem = results::StoreProblem::None;
    auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
    ASSERT_TRUE(store.Ok());
    constexpr int kCount = 600;
    std::vector<results::Measurement> batch;
    for (int n = 0; n < kCount; ++n) {
        batch.push_back(Made("J-" + std::to_string(n / 100), n % 2 ? "-DIFF" : "-SE", 1000 + n,
                             "Bench 3", "LOT-" + std::to_string(n)));
    }
    ASSERT_TRUE(store.Value()->Store(batch).Ok());
    store.Value().reset();
    auto connection = results::Connect(*results::ParseResultsLocation(path), problem);
    ASSERT_TRUE((*connection)->ExecuteScript("PRAGMA wal_checkpoint(TRUNCATE)").Ok());
    EXPECT_LT(fs::file_size(path) / kCount, 4096u);
}

TEST(SqliteStore, AFileThatCannotTakeMeasurementsIsRefusedWithTheReason) {
    TemporaryFolder folder;
    const std::string notADatabase = folder.File("notes.sqlite");
    WriteFile(notADatabase, std::vector<std::uint8_t>(4096, 'x'));
    const std::string aFolder = folder.File("folder");
    fs::create_directories(aFolder);
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {notADatabase, "not a database"},
        {aFolder, "unable to open"},
    };
    for (const auto& c : cases) {
        StoreProblem problem = StoreProblem::None;
        const auto store =
            results::OpenResultsStore(*results::ParseResultsLocation(c.path), problem);
        ASSERT_FALSE(store.Ok()) << c.path;
        EXPECT_EQ(problem, StoreProblem::Refused) << c.path;
        const std::string text = store.Error().Message + " " + store.Error().Detail;
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_NE(text.find(c.path), std::string::npos) << text;
    }
    EXPECT_EQ(ReadFile(notADatabase), std::vector<std::uint8_t>(4096, 'x'));
}

TEST(SqliteStore, AReadOnlyFileRefusesWritesButStillLists) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    TemporaryFolder folder;
    const std::string path = folder.File("results.sqlite");
    StoreProblem problem = StoreProblem::None;
    auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
    ASSERT_TRUE(store.Ok());
    ASSERT_TRUE(store.Value()->Store(std::vector{SampleMeasurements()[0]}).Ok());
    store.Value().reset();
    ::chmod(path.c_str(), 0444);
    ::chmod(folder.Path().c_str(), 0555);
    auto readOnly = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
    ASSERT_TRUE(readOnly.Ok()) << readOnly.Error().Message;
    const auto refused = readOnly.Value()->Store(std::vector{SampleMeasurements()[1]});
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(readOnly.Value()->LastProblem(), StoreProblem::Refused);
    EXPECT_EQ(readOnly.Value()->Query({})->size(), 1u);
    ::chmod(folder.Path().c_str(), 0755);
}

}  // namespace
}  // namespace orvik::testing
