#include "criteria/criteria_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

#include <sys/stat.h>

#include "test_bytes.h"
#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

using testing::ByteBuilder;
using testing::TemporaryFolder;

ByteBuilder EmptyPreferences(ByteBuilder bytes) {
    for (int i = 0; i < 9; ++i) {
        bytes.Str("");
    }
    return bytes;
}

std::vector<std::string> Names(const CriteriaLibrary& library) {
    std::vector<std::string> names;
    for (const auto& c : library.Criteria) {
        names.push_back(c->Name);
    }
    return names;
}

std::vector<std::int32_t> Ids(const CriteriaLibrary& library) {
    std::vector<std::int32_t> ids;
    for (const auto& c : library.Criteria) {
        ids.push_back(c->Id);
    }
    return ids;
}

// A version 3 file holding criteria with the given ids (named after them).
std::vector<std::uint8_t> LibraryWithIds(const std::vector<std::int32_t>& ids) {
    ByteBuilder bytes = EmptyPreferences(ByteBuilder().I32(3));
    bytes.I32(0);
    for (std::int32_t id : ids) {
        bytes.I32(1).CriterionPayload(id, "C" + std::to_string(id), 50, 10, 55, 45, 7, 4, 0);
    }
    return bytes.I32(0).I32(0).Bytes();
}

class CriteriaLibraryFile : public ::testing::Test {
  protected:
    TemporaryFolder folder;
    std::string path = folder.File("criteria.dat");
};

TEST_F(CriteriaLibraryFile, EmptyLibrarySavesTwentyFiveBytes) {
    CriteriaLibrary library;
    ASSERT_TRUE(library.Save(path).Ok());
    const auto expected = EmptyPreferences(ByteBuilder().I32(3)).I32(0).I32(0).I32(0).Bytes();
    EXPECT_EQ(expected.size(), 25u);
    EXPECT_EQ(testing::ReadFile(path), expected);
}

TEST_F(CriteriaLibraryFile, EveryLoadReversesTheCriteria) {
    CriteriaLibrary library;
    for (const char* name : {"A", "B", "C"}) {
        library.AddCriterion().Name = name;
    }
    ASSERT_TRUE(library.Save(path).Ok());

    CriteriaLibrary second;
    ASSERT_EQ(second.Load(path).Value(), LibraryLoadStatus::Loaded);
    EXPECT_EQ(Names(second), (std::vector<std::string>{"C", "B", "A"}));
    ASSERT_TRUE(second.Save(path).Ok());

    CriteriaLibrary third;
    ASSERT_TRUE(third.Load(path).Ok());
    EXPECT_EQ(Names(third), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(CriteriaLibraryFile, SaveAndLoadKeepEverything) {
    CriteriaLibrary library;
    library.Preferences = {"Acme", "1 Road",       "Town", "555", "556",
                           "a@b",  "acme.example", "P-",   "-S"};
    library.PromptForTraceName = 1;
    Criterion& criterion = library.AddCriterion();
    criterion.Name = "SE 50";
    criterion.DoubleEnded = 1;
    Script& script = library.AddScript();
    script.Customer = "Customer";
    script.AddElement().CriterionId = criterion.Id;
    ASSERT_TRUE(library.Save(path).Ok());
    const auto firstBytes = testing::ReadFile(path);

    CriteriaLibrary loaded;
    ASSERT_EQ(loaded.Load(path).Value(), LibraryLoadStatus::Loaded);
    EXPECT_EQ(loaded.Preferences, library.Preferences);
    EXPECT_EQ(loaded.PromptForTraceName, 1);
    ASSERT_EQ(loaded.Criteria.size(), 1u);
    EXPECT_EQ(*loaded.Criteria[0], criterion);
    ASSERT_EQ(loaded.Scripts.size(), 1u);
    EXPECT_EQ(loaded.Scripts[0]->Customer, "Customer");
    EXPECT_EQ(loaded.Scripts[0]->Elements.front().Position, 1);
    ASSERT_TRUE(loaded.Save(path).Ok());
    EXPECT_EQ(testing::ReadFile(path), firstBytes);
}

TEST_F(CriteriaLibraryFile, OlderVersionsLoadWhatTheyHold) {
    const auto version1 = ByteBuilder()
                              .I32(1)
                              .I32(1)
                              .CriterionPayload(4, "Old", 75, 5, 78.75, 71.25, 6, 3, 0)
                              .I32(0)
                              .Bytes();
    testing::WriteFile(path, version1);
    CriteriaLibrary library;
    library.Preferences.CompanyName = "left over";
    ASSERT_EQ(library.Load(path).Value(), LibraryLoadStatus::Loaded);
    EXPECT_EQ(library.FileVersion, 1);
    EXPECT_EQ(Names(library), std::vector<std::string>{"Old"});
    EXPECT_TRUE(library.Scripts.empty());
    EXPECT_EQ(library.Preferences, ReportPreferences());

    const auto version2 = ByteBuilder()
                              .I32(2)
                              .I32(1)
                              .DefaultCriterionPayload()
                              .I32(0)
                              .I32(7)
                              .I32(1)
                              .I32(12)
                              .Str("Lot")
                              .I32(1)
                              .Str("P")
                              .I32(0)
                              .I32(0)
                              .Bytes();
    testing::WriteFile(path, version2);
    ASSERT_EQ(library.Load(path).Value(), LibraryLoadStatus::Loaded);
    EXPECT_EQ(library.Criteria.size(), 1u);
    ASSERT_EQ(library.Scripts.size(), 1u);
    EXPECT_EQ(library.Scripts[0]->Description, "Lot");
    EXPECT_EQ(library.PromptForTraceName, 0);
}

TEST_F(CriteriaLibraryFile, MissingFileIsAnEmptyLibrary) {
    CriteriaLibrary library;
    const auto result = library.Load(path);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(*result, LibraryLoadStatus::Missing);
    EXPECT_TRUE(library.Criteria.empty());
    EXPECT_TRUE(library.Save(path).Ok());
}

TEST_F(CriteriaLibraryFile, DamagedFileIsReportedAndKept) {
    auto bytes = LibraryWithIds({1, 2});
    ASSERT_GT(bytes.size(), 10u);
    bytes.resize(bytes.size() - 10);
    testing::WriteFile(path, bytes);

    CriteriaLibrary library;
    const auto result = library.Load(path);
    ASSERT_FALSE(result.Ok());
    EXPECT_NE(result.Error().Message.find(path), std::string::npos);
    EXPECT_FALSE(result.Error().Detail.empty());
    // The operator's sentence names the reason too.
    EXPECT_NE(result.Error().Message.find(result.Error().Detail), std::string::npos);
    EXPECT_TRUE(library.Criteria.empty());

    library.AddCriterion();
    EXPECT_FALSE(library.Save(path).Ok());
    EXPECT_EQ(testing::ReadFile(path), bytes);

    library.AllowOverwrite();
    EXPECT_TRUE(library.Save(path).Ok());
    EXPECT_NE(testing::ReadFile(path), bytes);
}

TEST_F(CriteriaLibraryFile, DamagedFilesAndRefusedSavesGoToTheLog) {
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink);
    CriteriaLibrary library;
    library.SetLog(log);
    testing::WriteFile(path, LibraryWithIds({1, 2}));
    ASSERT_EQ(library.Load(path).Value(), LibraryLoadStatus::Loaded);
    EXPECT_EQ(sink.Count(LogLevel::Info, "criteria", {path, "2 criteria"}), 1u);

    testing::WriteFile(path, {3, 0, 0, 0, 0xFF});
    const auto damaged = library.Load(path);
    ASSERT_FALSE(damaged);
    EXPECT_EQ(sink.Count(LogLevel::Warning, "criteria", {path, damaged.Error().Detail}), 1u);
    const Status refused = library.Save(path);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().Message,
              path +
                  " was not saved: it holds a damaged library that is kept until you agree "
                  "to replace it.");
    EXPECT_EQ(sink.Count(LogLevel::Warning, "criteria", {"refused", path}), 1u);

    const Status failed = library.Save(folder.File("no-such-folder/criteria.dat"));
    ASSERT_FALSE(failed);
    EXPECT_EQ(sink.Count(LogLevel::Error, "criteria", {failed.Error().Message}), 1u);
}

TEST_F(CriteriaLibraryFile, EveryTruncationIsRefusedWithoutHarm) {
    CriteriaLibrary source;
    source.Preferences.CompanyName = "Acme";
    source.AddCriterion().Name = "one";
    source.AddCriterion().Name = "two";
    source.AddScript().AddElement().Postfix = "-A";
    ASSERT_TRUE(source.Save(path).Ok());
    const auto full = testing::ReadFile(path);
    for (std::size_t size = 0; size < full.size(); ++size) {
        testing::WriteFile(path, std::vector<std::uint8_t>(full.begin(), full.begin() + size));
        CriteriaLibrary library;
        const auto result = library.Load(path);
        ASSERT_FALSE(result.Ok()) << "size " << size;
        EXPECT_TRUE(library.Criteria.empty());
        EXPECT_TRUE(library.Scripts.empty());
    }
}

TEST_F(CriteriaLibraryFile, FailedSaveLeavesTheOldFile) {
    CriteriaLibrary library;
    ASSERT_TRUE(library.Save(path).Ok());
    const auto before = testing::ReadFile(path);
    library.AddCriterion();
    chmod(folder.Path().c_str(), 0500);
    if (access(folder.Path().c_str(), W_OK) == 0) {
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    }
    const Status result = library.Save(path);
    chmod(folder.Path().c_str(), 0700);
    EXPECT_FALSE(result.Ok());
    EXPECT_FALSE(result.Error().Message.empty());
    EXPECT_EQ(testing::ReadFile(path), before);
}

TEST_F(CriteriaLibraryFile, UnwritableTargetsFailCleanly) {
    CriteriaLibrary library;
    const Status missingFolder = library.Save(folder.File("no-such-folder/criteria.dat"));
    EXPECT_FALSE(missingFolder.Ok());
    EXPECT_NE(missingFolder.Error().Message.find("no-such-folder"), std::string::npos);

    // A folder in the way cannot be replaced, even with every right.
    std::filesystem::create_directories(folder.File("criteria.dat/keep"));
    const Status blocked = library.Save(path);
    EXPECT_FALSE(blocked.Ok());
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("criteria.dat/keep")));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "the temporary file must not be left behind";
}

TEST(CriteriaIds, DuplicatesGiveTheEarlierOneAFreshNumber) {
    TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    struct Case {
        std::vector<std::int32_t> fileIds;
        std::vector<std::int32_t> expected;  // in list order, the reverse of the file's
    };
    const Case cases[] = {
        {{5, 5}, {6, 5}},
        {{0, 0, 0}, {1, 2, 0}},
        {{3, 1, 3, 1}, {4, 5, 1, 3}},
        {{7, 2, 9}, {9, 2, 7}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        testing::WriteFile(path, LibraryWithIds(c.fileIds));
        CriteriaLibrary library;
        ASSERT_EQ(library.Load(path).Value(), LibraryLoadStatus::Loaded);
        EXPECT_EQ(Ids(library), c.expected);
    }
}

// The rule, worked by hand. A file's criteria load in reverse order, so the
// file {0, 0, 1} is the list {1, 0, 0}: the 1 raises the next free number to
// 2 before the two 0s meet, and the earlier 0 becomes 2, not a second 1.
TEST(CriteriaIds, RareOrdersFollowTheRuleExactly) {
    TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    struct Case {
        std::vector<std::int32_t> fileIds;
        std::vector<std::int32_t> expected;  // list order
    };
    const Case cases[] = {
        {{0, 0, 1}, {1, 2, 0}},       {{1, 0, 0}, {2, 0, 1}},       {{0, 1, 0}, {2, 1, 0}},
        {{2, 2, 1, 1}, {3, 1, 4, 2}}, {{4, 0, 4, 0}, {5, 6, 0, 4}},
    };
    for (const Case& c : cases) {
        testing::WriteFile(path, LibraryWithIds(c.fileIds));
        CriteriaLibrary library;
        ASSERT_EQ(library.Load(path).Value(), LibraryLoadStatus::Loaded);
        EXPECT_EQ(Ids(library), c.expected) << "file ids " << ::testing::PrintToString(c.fileIds);
    }
}

// Small lists drawn from 0, 1, 2, 7 and INT32_MAX with repeats: after loading
// no two criteria share an id, whatever the order.
TEST(CriteriaIds, EveryLoadedListHasDistinctIds) {
    TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    const std::int32_t pool[] = {0, 1, 2, 7, INT32_MAX};
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 16;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::int32_t> fileIds(1 + next() % 6);
        for (std::int32_t& id : fileIds) {
            id = pool[next() % std::size(pool)];
        }
        testing::WriteFile(path, LibraryWithIds(fileIds));
        CriteriaLibrary library;
        ASSERT_EQ(library.Load(path).Value(), LibraryLoadStatus::Loaded);
        std::vector<std::int32_t> ids = Ids(library);
        ASSERT_EQ(ids.size(), fileIds.size());
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end())
            << "file ids " << ::testing::PrintToString(fileIds);
    }
}

// The renumbering rule in its plain quadratic form: the first criterion
// against each later one, then each criterion against those after it.
std::vector<std::int32_t> RenumberedByTheRule(std::vector<std::int32_t> ids) {
    const auto unused = [&ids] {
        std::int32_t candidate = 0;
        while (std::find(ids.begin(), ids.end(), candidate) != ids.end()) {
            ++candidate;
        }
        return candidate;
    };
    std::int64_t next = 1;
    for (std::size_t c = 0; c < ids.size(); ++c) {
        next = std::max<std::int64_t>(next, std::int64_t{ids[c]} + 1);
        for (std::size_t d = c + 1; d < ids.size(); ++d) {
            next = std::max<std::int64_t>(next, std::int64_t{ids[d]} + 1);
            if (ids[d] == ids[c]) {
                ids[c] = next <= INT32_MAX ? static_cast<std::int32_t>(next) : unused();
                ++next;
            }
        }
    }
    return ids;
}

// Lists with many repeats, near the top of the range too, come out exactly as
// the rule numbers them.
TEST(CriteriaIds, RenumberExactlyAsTheRuleOnRandomLists) {
    const std::int32_t pool[] = {0, 1, 2, 3, 9, INT32_MAX - 2, INT32_MAX - 1, INT32_MAX};
    std::mt19937 random(99);
    for (int round = 0; round < 400; ++round) {
        CriteriaLibrary library;
        std::vector<std::int32_t> ids(1 + random() % 12);
        for (std::int32_t& id : ids) {
            id = pool[random() % std::size(pool)];
            library.AddCriterion().Id = id;
        }
        library.MakeIdsUnique();
        EXPECT_EQ(Ids(library), RenumberedByTheRule(ids)) << ::testing::PrintToString(ids);
    }
}

// A file of 20,000 criteria that all carry the largest id: each needs the
// smallest unused id, which used to cost a scan of the list per candidate
// (hours for a file of two megabytes). It now loads at once.
TEST(CriteriaIds, LongListAtTheTopOfTheRangeLoads) {
    TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    testing::WriteFile(path, LibraryWithIds(std::vector<std::int32_t>(20000, INT32_MAX)));
    CriteriaLibrary library;
    ASSERT_TRUE(library.Load(path).Ok());
    std::vector<std::int32_t> ids = Ids(library);
    ASSERT_EQ(ids.size(), 20000u);
    EXPECT_EQ(ids.back(), INT32_MAX) << "the last criterion keeps its id";
    EXPECT_EQ(ids.front(), 0);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids[19998], 19998);
}

TEST(CriteriaIds, StayUniqueAtTheTopOfTheRange) {
    TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    testing::WriteFile(path, LibraryWithIds({INT32_MAX, INT32_MAX, 0}));
    CriteriaLibrary library;
    ASSERT_TRUE(library.Load(path).Ok());
    const auto ids = Ids(library);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[0], ids[2]);
    EXPECT_NE(ids[1], ids[2]);

    Criterion& added = library.AddCriterion();
    for (const auto& c : library.Criteria) {
        if (c.get() != &added) {
            EXPECT_NE(c->Id, added.Id);
        }
    }
}

TEST(CriteriaList, AddFindRemove) {
    CriteriaLibrary library;
    EXPECT_EQ(library.AddCriterion().Id, 0);
    EXPECT_EQ(library.AddCriterion().Id, 1);
    library.Criteria[0]->Id = 10;
    Criterion& third = library.AddCriterion();
    EXPECT_EQ(third.Id, 11);
    EXPECT_EQ(library.Criteria.back().get(), &third);
    EXPECT_EQ(library.FindById(1), library.Criteria[1].get());
    EXPECT_EQ(library.FindById(42), nullptr);
    EXPECT_TRUE(library.RemoveCriterion(library.FindById(1)));
    EXPECT_EQ(library.FindById(1), nullptr);
    EXPECT_FALSE(library.RemoveCriterion(&third + 1));
    EXPECT_EQ(library.Criteria.size(), 2u);
}

}  // namespace
}  // namespace orvik
