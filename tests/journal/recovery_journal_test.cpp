#include "journal/recovery_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "collection/orvik_doc.h"
#include "journal/journal_format.h"
#include "journal/journal_recovery.h"
#include "script/script.h"
#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

using testing::ReadFile;
using testing::TemporaryFolder;
using testing::WriteFile;

std::unique_ptr<TraceRecord> Trace(const std::string& name, int samples, std::int32_t tag = 0) {
    auto trace = std::make_unique<TraceRecord>();
    trace->Name = name;
    trace->Tag = tag;
    trace->Time = 1'700'000'000;
    for (int i = 0; i < samples; ++i) {
        trace->Samples.push_back({i / 75.0, 50.0 + i % 7});
    }
    trace->Evaluate();
    return trace;
}

// Files a trace as Record Test does: appended, then shown.
void Record(COrvikDoc& document, const std::string& name) {
    document.AppendItem(Trace(name, 5));
    document.UpdateAllViews();
}

std::unique_ptr<Script> ScriptItem() {
    auto script = std::make_unique<Script>();
    script->Description = "Lot";
    script->Prefix = "L-";
    script->PromptForSerial = 0;
    script->AddElement().Postfix = "-A";
    return script;
}

std::size_t JournalFiles(const TemporaryFolder& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path() / "recovery")) {
        count += entry.path().extension() == kJournalExtension ? 1 : 0;
    }
    return count;
}

// A scripted batch as the station and the tree file it, then a deletion and a
// resumed script taking a new serial; after each change, what Save writes.
std::vector<std::vector<std::uint8_t>> MakeChanges(COrvikDoc& document, int samples) {
    std::vector<std::vector<std::uint8_t>> states;
    // Each operation ends as the station's do, with an update of the views.
    const auto note = [&] {
        document.UpdateAllViews();
        states.push_back(document.ToBytes());
    };
    document.NextSampleNumber = 2;
    document.AppendItem(Trace("Sample #: 1", samples));
    note();
    // A scripted record: the station appends it, the tree files the script
    // and the coupon before it.
    CollectionItem& record = document.AppendItem(Trace("L-100-A", samples, kTagScriptedRun));
    CollectionItem& script = document.InsertBefore(&record, ScriptItem());
    document.InsertBefore(&record, std::make_unique<CouponMarker>("100"));
    note();
    document.NextSampleNumber = 3;
    document.AppendItem(Trace("Sample #: 2", samples));
    note();
    document.RemoveItem(document.Items().front().get());
    note();
    static_cast<Script&>(script).TakeAutoSerial();
    document.NoteItemChanged(&script);  // complete in itself
    states.push_back(document.ToBytes());
    return states;
}

class RecoveryJournalTest : public ::testing::Test {
  protected:
    std::string Folder() const { return temp.File("recovery"); }

    std::vector<std::uint8_t> Rebuilt(const std::string& journal,
                                      RecoveredChanges* changes = nullptr) {
        auto leftover = LeftoverJournal::Open(journal);
        EXPECT_TRUE(leftover.Ok());
        COrvikDoc rebuilt;
        const auto result = leftover->RebuildInto(rebuilt);
        EXPECT_TRUE(result.Ok()) << (result.Ok() ? "" : result.Error().Message);
        EXPECT_TRUE(rebuilt.IsModified());
        if (changes != nullptr && result.Ok()) {
            *changes = *result;
        }
        return rebuilt.ToBytes();
    }

    TemporaryFolder temp;
};

TEST_F(RecoveryJournalTest, RebuildIsWhatSaveWouldWriteAfterEveryKindOfChange) {
    COrvikDoc document;
    auto journal = std::make_unique<RecoveryJournal>(Folder(), document);
    const auto states = MakeChanges(document, 750);
    const std::string path = journal->FilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(journal->EntriesWritten(), 7u);
    journal.reset();  // the program ends without saving

    RecoveredChanges changes;
    EXPECT_EQ(Rebuilt(path, &changes), states.back());
    EXPECT_EQ(changes.Applied, 7u);
    EXPECT_EQ(changes.Lost, 0u);
}

TEST_F(RecoveryJournalTest, AJournalCutAtEveryByteRecoversEveryWholeEntry) {
    COrvikDoc document;
    std::string path;
    std::vector<std::vector<std::uint8_t>> states;
    {
        RecoveryJournal journal(Folder(), document);
        states = MakeChanges(document, 3);
        path = journal.FilePath();
    }
    const std::vector<std::uint8_t> whole = ReadFile(path);
    const auto operations = [](const JournalContents& contents) {
        return static_cast<std::size_t>(std::count_if(
            contents.Entries.begin(), contents.Entries.end(),
            [](const JournalEntry& entry) { return entry.Kind == JournalEntryKind::Committed; }));
    };
    ASSERT_TRUE(ReadJournal(whole).Complete());
    ASSERT_EQ(operations(ReadJournal(whole)), states.size());

    COrvikDoc empty;
    const std::vector<std::uint8_t> emptyState = empty.ToBytes();
    std::size_t lastOperations = 0;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        WriteFile(path, std::vector<std::uint8_t>(whole.begin(), whole.begin() + cut));
        auto leftover = LeftoverJournal::Open(path);
        ASSERT_TRUE(leftover.Ok());
        const JournalContents& contents = leftover->Contents();
        const std::size_t done = operations(contents);
        ASSERT_GE(done, lastOperations) << "cut at " << cut;
        lastOperations = done;
        if (!contents.Start) {
            EXPECT_FALSE(leftover->HasChanges());
            continue;  // the start itself was cut: nothing to recover
        }
        COrvikDoc rebuilt;
        const auto result = leftover->RebuildInto(rebuilt);
        ASSERT_TRUE(result.Ok()) << "cut at " << cut;
        EXPECT_EQ(result->Applied + result->Lost + done,
                  contents.Entries.size() + contents.LostEntries);
        EXPECT_EQ(rebuilt.ToBytes(), done == 0 ? emptyState : states[done - 1]) << "cut at " << cut;
    }
    EXPECT_EQ(lastOperations, states.size() - 1);  // every cut loses the last operation
}

TEST_F(RecoveryJournalTest, DamageStopsAtTheDamagedEntryAndCountsWhatFollows) {
    COrvikDoc document;
    RecoveryJournal journal(Folder(), document);
    for (int i = 0; i < 4; ++i) {
        document.AppendItem(Trace("t" + std::to_string(i), 20));
        document.UpdateAllViews();
    }
    std::vector<std::uint8_t> bytes = ReadFile(journal.FilePath());
    const JournalContents before = ReadJournal(bytes);
    ASSERT_EQ(before.Entries.size(), 8u);  // each record and its commit
    EXPECT_EQ(before.UnsavedTraces, 4u);
    // A flipped byte inside the second record.
    bytes[static_cast<std::size_t>(before.Entries[2].Item.data() - bytes.data()) + 20] ^= 0x40;
    const JournalContents damaged = ReadJournal(bytes);
    EXPECT_EQ(damaged.Entries.size(), 2u);
    EXPECT_EQ(damaged.LostEntries, 6u);
    EXPECT_FALSE(damaged.Complete());
    EXPECT_EQ(damaged.UnsavedTraces, 1u);
}

TEST_F(RecoveryJournalTest, ChangesThatDoNotFitTheListAreNotApplied) {
    COrvikDoc document;
    RecoveryJournal journal(Folder(), document);
    Record(document, "a");
    std::vector<std::uint8_t> bytes = ReadFile(journal.FilePath());
    EncodeJournalEntry(JournalEntryKind::Removed, 1, 5, nullptr, bytes);
    EncodeJournalEntry(JournalEntryKind::Committed, 1, 0, nullptr, bytes);
    const JournalContents contents = ReadJournal(bytes);
    EXPECT_EQ(contents.Entries.size(), 2u);
    EXPECT_EQ(contents.LostEntries, 2u);
    EXPECT_EQ(contents.UnsavedItems, 1u);
}

TEST_F(RecoveryJournalTest, SavingEmptiesTheJournalAndAFailedSaveKeepsIt) {
    COrvikDoc document;
    auto journal = std::make_unique<RecoveryJournal>(Folder(), document);
    Record(document, "a");
    const std::string path = journal->FilePath();

    EXPECT_FALSE(document.SaveAs(temp.File("missing/x.tdr")).Ok());
    EXPECT_EQ(ReadJournal(ReadFile(path)).UnsavedTraces, 1u);

    const std::string saved = temp.File("lot.tdr");
    ASSERT_TRUE(document.SaveAs(saved).Ok());
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    // Changes after the save apply to the saved file.
    Record(document, "b");
    document.RemoveItem(document.Items().front().get());
    document.UpdateAllViews();
    const auto expected = document.ToBytes();
    journal.reset();
    {
        auto leftover = LeftoverJournal::Open(path);
        ASSERT_TRUE(leftover.Ok());
        EXPECT_EQ(leftover->CollectionPath(), std::filesystem::absolute(saved).string());
        EXPECT_EQ(leftover->CollectionName(), "lot.tdr");
        EXPECT_EQ(DescribeRecovery(*leftover),
                  "lot.tdr in " + temp.Path().string() + ": 1 unsaved trace, 1 saved item deleted");
    }
    EXPECT_EQ(Rebuilt(path), expected);
}

TEST_F(RecoveryJournalTest, ACollectionSavedSinceTheJournalBeganIsNotRecoveredTwice) {
    const std::string saved = temp.File("lot.tdr");
    std::string path;
    {
        COrvikDoc document;
        ASSERT_TRUE(document.SaveAs(saved).Ok());
        RecoveryJournal journal(Folder(), document);
        Record(document, "a");
        path = journal.FilePath();
        // Saved by someone else, with the journal not yet emptied.
        COrvikDoc other;
        Record(other, "a");
        ASSERT_TRUE(other.SaveAs(saved).Ok());
    }
    // Its changes are never applied by index to the other program's list;
    // what the journal holds becomes a new collection instead.
    auto leftover = LeftoverJournal::Open(path);
    ASSERT_TRUE(leftover.Ok());
    EXPECT_TRUE(leftover->CollectionChanged());
    COrvikDoc rebuilt;
    const auto result = leftover->RebuildInto(rebuilt);
    ASSERT_TRUE(result.Ok());
    EXPECT_TRUE(result->AsNewCollection);
    EXPECT_EQ(rebuilt.Path(), "");
    ASSERT_EQ(rebuilt.Items().size(), 1u);
    EXPECT_EQ(static_cast<const TraceRecord&>(*rebuilt.Items()[0]).Name, "a");
}

TEST_F(RecoveryJournalTest, AJournalBelongsToOneProgramAtATime) {
    COrvikDoc document;
    auto journal = std::make_unique<RecoveryJournal>(Folder(), document);
    Record(document, "a");
    const std::string path = journal->FilePath();

    EXPECT_FALSE(LeftoverJournal::Open(path).Ok());
    EXPECT_TRUE(FindLeftoverJournals(Folder()).empty());

    journal.reset();  // the program ended without saving: the file stays
    std::vector<LeftoverJournal> found = FindLeftoverJournals(Folder());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found.front().HasChanges());
    EXPECT_EQ(found.front().CollectionName(), "Untitled");
    EXPECT_FALSE(LeftoverJournal::Open(path).Ok()) << "held while it is being considered";
    ASSERT_TRUE(found.front().Discard().Ok());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RecoveryJournalTest, ClosingWithoutChangesOrAfterNoLeavesNoFile) {
    COrvikDoc document;
    { RecoveryJournal untouched(Folder(), document); }
    EXPECT_FALSE(std::filesystem::exists(Folder()));
    {
        RecoveryJournal saved(Folder(), document);
        Record(document, "a");
        ASSERT_TRUE(document.SaveAs(temp.File("a.tdr")).Ok());
    }
    EXPECT_EQ(JournalFiles(temp), 0u);
    {
        RecoveryJournal discarded(Folder(), document);
        Record(document, "b");
        discarded.Discard();
    }
    EXPECT_EQ(JournalFiles(temp), 0u);
}

TEST_F(RecoveryJournalTest, AJournalThatCannotBeWrittenSaysSoOnceAndBeginsAfreshAfterASave) {
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink);
    WriteFile(Folder(), {1});  // a file where the folder should be
    COrvikDoc document;
    RecoveryJournal journal(Folder(), document, log);
    Record(document, "a");
    EXPECT_FALSE(journal.Writing());
    EXPECT_EQ(sink.Count(LogLevel::Error, "journal", {"kept in memory", Folder()}), 1u);
    Record(document, "b");
    EXPECT_EQ(sink.Count(LogLevel::Error, "journal"), 1u);

    std::filesystem::remove(Folder());
    ASSERT_TRUE(document.SaveAs(temp.File("a.tdr")).Ok());
    EXPECT_TRUE(journal.Writing());
    Record(document, "c");
    EXPECT_EQ(journal.EntriesWritten(), 1u);
}

TEST_F(RecoveryJournalTest, OnlyAJournalWithNothingInItCountsAsEmpty) {
    const std::string path = temp.File("j.orj");
    const auto opened = [&](const std::vector<std::uint8_t>& bytes) {
        WriteFile(path, bytes);
        auto journal = LeftoverJournal::Open(path);
        EXPECT_TRUE(journal.Ok());
        return std::move(*journal);
    };
    EXPECT_TRUE(opened({}).NothingToRecover());
    std::vector<std::uint8_t> bytes;
    EncodeJournalStart(JournalStart{}, bytes);
    EXPECT_TRUE(opened(bytes).NothingToRecover());
    EXPECT_TRUE(opened({bytes.begin(), bytes.end() - 2}).NothingToRecover()) << "start cut short";
    // Whole frames that this program does not read: a later version's.
    std::vector<std::uint8_t> later;
    EncodeJournalEntry(JournalEntryKind::Committed, 1, 0, nullptr, later);
    EncodeJournalEntry(JournalEntryKind::Committed, 1, 0, nullptr, later);
    EXPECT_FALSE(opened(later).NothingToRecover());
}

TEST(JournalCrc, MatchesZlibOnShortAndLongInput) {
    const std::string text = "123456789";
    EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}),
              0xCBF43926u);
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 5 * 256; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i));
    }
    EXPECT_EQ(Crc32(bytes), 0x1E7A6D24u);  // zlib.crc32(bytes(range(256)) * 5)
    EXPECT_EQ(Crc32({}), 0u);
}

}  // namespace
}  // namespace orvik
