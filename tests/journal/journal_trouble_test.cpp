// The journal when the disk gets in its way, what programs that died leave
// behind, and what the start-up question says about each journal.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/abandoned_files.h"
#include "base/file_store.h"
#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"
#include "script/script.h"
#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using State = RecoveryJournal::State;
using testing::ReadFile;
using testing::TemporaryFolder;
using testing::WriteFile;

void Record(COrvikDoc& document, const std::string& name) {
    auto trace = std::make_unique<TraceRecord>();
    trace->Name = name;
    trace->Samples.assign(200, {1.0, 50.0});
    document.AppendItem(std::move(trace));
    document.UpdateAllViews();
}

// What the journal's file rebuilds, as the next start would after a crash now.
Bytes RebuiltFromCopy(const RecoveryJournal& journal, const std::string& folder) {
    fs::create_directories(folder);
    WriteFile(folder + "/copy.orj", ReadFile(journal.FilePath()));
    auto left = LeftoverJournal::Open(folder + "/copy.orj");
    EXPECT_TRUE(left.Ok());
    COrvikDoc rebuilt;
    EXPECT_TRUE(left->RebuildInto(rebuilt).Ok());
    return rebuilt.ToBytes();
}

// No file of this process may grow past `bytes`: every write beyond fails as
// on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ReportFileSizeLimitAsWriteFailure();
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

  private:
    rlimit saved_{};
};

struct Obstacle {
    const char* name;
    std::size_t recordsBefore;  // written while the way is clear
    std::function<std::function<void()>(const std::string& folder, RecoveryJournal&)> block;
};

class JournalTrouble : public ::testing::TestWithParam<Obstacle> {};

void PrintTo(const Obstacle& obstacle, std::ostream* out) {
    *out << obstacle.name;
}

// Thirty traces, twenty of them while nothing can be written: the operator is
// told once, the changes wait in memory, and once there is room again they all
// reach the disk, so that a crash then loses none.
TEST_P(JournalTrouble, ChangesWaitInMemoryUntilTheyCanBeWritten) {
    TemporaryFolder temp;
    const std::string folder = temp.File("recovery");
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink);
    COrvikDoc document;
    RecoveryJournal journal(folder, document, log);
    std::vector<State> told;
    journal.SetStateListener([&](State state) { told.push_back(state); });
    for (std::size_t i = 0; i < GetParam().recordsBefore; ++i) {
        Record(document, "before " + std::to_string(i));
    }
    std::function<void()> unblock = GetParam().block(folder, journal);
    for (int i = 0; i < 20; ++i) {
        Record(document, "blocked " + std::to_string(i));
    }
    EXPECT_FALSE(journal.Writing());
    EXPECT_FALSE(journal.Problem().empty());
    EXPECT_FALSE(journal.Retry());
    EXPECT_EQ(told, std::vector<State>{State::Failed});
    EXPECT_EQ(sink.Count(LogLevel::Error, "journal", {"kept in memory", folder}), 1u);

    unblock();
    EXPECT_TRUE(journal.Retry());
    EXPECT_TRUE(journal.Writing());
    EXPECT_EQ(told, (std::vector<State>{State::Failed, State::Resumed}));
    for (std::size_t i = GetParam().recordsBefore; i < 10; ++i) {
        Record(document, "after " + std::to_string(i));
    }
    EXPECT_EQ(document.Items().size(), 30u);
    EXPECT_EQ(RebuiltFromCopy(journal, temp.File("copy")), document.ToBytes());
    EXPECT_EQ(journal.EntriesWritten(), 30u);
}

INSTANTIATE_TEST_SUITE_P(
    Obstacles, JournalTrouble,
    ::testing::Values(
        Obstacle{"a file where the folder should be", 0,
                 [](const std::string& folder, RecoveryJournal&) -> std::function<void()> {
                     WriteFile(folder, {1});
                     return [folder] { fs::remove(folder); };
                 }},
        // The journal's own file can grow no more, as on a full disk.
        Obstacle{"a full disk", 5,
                 [](const std::string&, RecoveryJournal& journal) -> std::function<void()> {
                     auto limit = std::make_shared<FileSizeLimit>(journal.Size());
                     return [limit]() mutable { limit.reset(); };
                 }}),
    [](const auto& info) { return std::string(info.index == 0 ? "FolderBlocked" : "DiskFull"); });

TEST(JournalTrouble, ASaveMakesWhatWaitsInMemoryNeedless) {
    TemporaryFolder temp;
    COrvikDoc document;
    RecoveryJournal journal(temp.File("recovery"), document);
    std::vector<State> told;
    journal.SetStateListener([&](State state) { told.push_back(state); });
    WriteFile(temp.File("recovery"), {1});
    Record(document, "a");
    ASSERT_TRUE(document.SaveAs(temp.File("lot.tdr")).Ok());
    EXPECT_TRUE(journal.Writing());
    EXPECT_EQ(told, (std::vector<State>{State::Failed, State::Cleared}));
}

TEST(AbandonedFiles, OnlyThoseOfProgramsThatEndedAreRemoved) {
    TemporaryFolder temp;
    const std::string ended = std::to_string(testing::EndedProcessId());
    const std::string running = std::to_string(::getpid());
    const std::string recovery = temp.File("recovery");
    fs::create_directories(recovery);
    WriteFile(temp.File("lot.tdr"), {1});
    struct File {
        std::string path;
        bool removed;
    };
    const File files[] = {
        {temp.File(".lot.tdr." + ended + "-0"), true},
        {temp.File(".lot.tdr." + ended + "-17"), true},
        {temp.File(".lot.tdr." + running + "-0"), false},
        {temp.File(".lot.tdr.Ab12Cd"), false},  // unnamed by process: cannot tell
        {temp.File(".other.tdr." + ended + "-0"), false},
        {temp.File(".lot.tdr." + ended + "-x"), false},
        {recovery + "/journal-" + ended + "-123-0.orj.new", true},
        {recovery + "/journal-" + running + "-123-0.orj.new", false},
        {recovery + "/journal-" + ended + "-123-1.orj", false},  // a journal to offer
    };
    for (const File& file : files) {
        WriteFile(file.path, {2});
    }
    EXPECT_EQ(RemoveAbandonedSaveFiles(temp.File("lot.tdr")), 2u);
    RemoveAbandonedJournalFiles(recovery);
    for (const File& file : files) {
        EXPECT_EQ(fs::exists(file.path), !file.removed) << file.path;
    }
    EXPECT_TRUE(fs::exists(temp.File("lot.tdr")));
}

// A saved lot: a script, a coupon marker and three traces.
void SaveLot(const std::string& path) {
    COrvikDoc lot;
    lot.AppendItem(std::make_unique<Script>());
    lot.AppendItem(std::make_unique<CouponMarker>("100"));
    for (int i = 0; i < 3; ++i) {
        lot.AppendItem(std::make_unique<TraceRecord>());
    }
    ASSERT_TRUE(lot.SaveAs(path).Ok());
}

TEST(RecoveryQuestion, SaysWhatEachJournalWouldBringBack) {
    struct Case {
        const char* expected;  // FOLDER stands for the collection's folder
        std::function<void(COrvikDoc&, const std::string& lot)> changes;
        std::function<void(const std::string& lot, const std::string& journal)> afterwards;
    };
    const auto open = [](COrvikDoc& document, const std::string& lot) {
        ASSERT_TRUE(document.Open(lot).Ok());
    };
    const auto deleteFirst = [](COrvikDoc& document) {
        document.RemoveItem(document.Items().front().get());
        document.UpdateAllViews();
    };
    const Case cases[] = {
        {"Untitled: 1 unsaved trace", [](COrvikDoc& d, const std::string&) { Record(d, "a"); }, {}},
        {"lot.tdr in FOLDER: 2 unsaved traces",
         [&](COrvikDoc& d, const std::string& lot) {
             open(d, lot);
             Record(d, "a");
             Record(d, "b");
         },
         {}},
        {"lot.tdr in FOLDER: 2 saved items deleted, no unsaved traces",
         [&](COrvikDoc& d, const std::string& lot) {
             open(d, lot);
             deleteFirst(d);
             deleteFirst(d);
         },
         {}},
        {"lot.tdr in FOLDER: 1 unsaved item, 1 saved item changed",
         [&](COrvikDoc& d, const std::string& lot) {
             open(d, lot);
             static_cast<Script&>(*d.Items().front()).TakeAutoSerial();
             d.NoteItemChanged(d.Items().front().get());
             d.AppendItem(std::make_unique<CouponMarker>("101"));
             d.UpdateAllViews();
         },
         {}},
        {"lot.tdr in FOLDER has changed since; 1 unsaved trace open as a new collection",
         [&](COrvikDoc& d, const std::string& lot) {
             open(d, lot);
             Record(d, "a");
         },
         // Another program saves the lot meanwhile.
         [](const std::string& lot, const std::string&) {
             COrvikDoc other;
             other.AppendItem(std::make_unique<CouponMarker>("7"));
             ASSERT_TRUE(other.SaveAs(lot).Ok());
         }},
        {"Untitled: 1 unsaved trace (2 damaged or unfinished entries at its end cannot be "
         "recovered)",
         [](COrvikDoc& d, const std::string&) {
             Record(d, "a");
             Record(d, "b");
         },
         [](const std::string&, const std::string& journal) {
             fs::resize_file(journal, fs::file_size(journal) - 1);
         }},
    };
    for (const Case& c : cases) {
        TemporaryFolder temp;
        const std::string lot = temp.File("lot.tdr");
        SaveLot(lot);
        std::string path;
        {
            COrvikDoc document;
            RecoveryJournal journal(temp.File("recovery"), document);
            c.changes(document, lot);
            path = journal.FilePath();
        }
        if (c.afterwards) {
            c.afterwards(lot, path);
        }
        auto journal = LeftoverJournal::Open(path);
        ASSERT_TRUE(journal.Ok());
        std::string expected = c.expected;
        if (const auto at = expected.find("FOLDER"); at != std::string::npos) {
            expected.replace(at, 6, temp.Path().string());
        }
        EXPECT_EQ(DescribeRecovery(*journal), expected);
    }
}

}  // namespace
}  // namespace orvik
