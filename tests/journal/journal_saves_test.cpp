// Recovery around saves and opens: whenever the program dies, what recovery
// gives back is the list the operator had, never changes applied to a file
// they do not belong to.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "base/archive.h"
#include "collection/orvik_doc.h"
#include "journal/journal_format.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ReadFile;
using testing::TemporaryFolder;
using testing::WriteFile;

std::unique_ptr<TraceRecord> Trace(const std::string& name) {
    auto trace = std::make_unique<TraceRecord>();
    trace->Name = name;
    trace->Samples.push_back({1.0, 50.0});
    return trace;
}

// A scripted lot of five items as the tree files them.
Bytes FiveItems() {
    COrvikDoc lot;
    auto script = std::make_unique<Script>();
    script->Description = "Lot";
    lot.AppendItem(std::move(script));
    lot.AppendItem(std::make_unique<CouponMarker>("100"));
    for (const char* name : {"L-100-A", "L-100-B", "L-100-C"}) {
        lot.AppendItem(Trace(name));
    }
    return lot.ToBytes();
}

void Record(COrvikDoc& document, const std::string& name) {
    document.AppendItem(Trace(name));
    document.UpdateAllViews();
}

void DeleteAt(COrvikDoc& document, std::size_t index) {
    document.RemoveItem(document.Items()[index].get());
    document.UpdateAllViews();
}

// What a crash leaves: the journal's bytes and every collection file's; and
// what the operator may get back then: the list after the last operation, or
// the one under way (an open that has read its file but not shown it).
struct Disk {
    std::string Moment;
    Bytes Journal;
    std::map<std::string, std::optional<Bytes>> Files;
    std::string Path;  // the collection's, when the journal is empty
    Bytes Before;
    Bytes Now;
};

// Sits between the document and its journal and takes what a crash would
// leave on the disk at each moment of a save and an open.
class CrashPoints : public ItemListListener {
  public:
    CrashPoints(COrvikDoc& document, RecoveryJournal& journal, std::vector<std::string> files)
        : document_(document), journal_(journal), files_(std::move(files)) {
        document.SetItemListener(this);
        shown_ = document.ToBytes();
    }

    void ItemInserted(const COrvikDoc& d, std::size_t i) override { journal_.ItemInserted(d, i); }
    void ItemRemoved(const COrvikDoc& d, std::size_t i) override { journal_.ItemRemoved(d, i); }
    void ItemChanged(const COrvikDoc& d, std::size_t i) override { journal_.ItemChanged(d, i); }
    void ChangesComplete(const COrvikDoc& d) override {
        journal_.ChangesComplete(d);
        shown_ = document_.ToBytes();
        Take("after an operation");
    }
    void Saving(const COrvikDoc& d, const std::string& path, const FileIdentity& file) override {
        Take("a save, before its journal entry");
        journal_.Saving(d, path, file);
        Take("a save, before its rename");
    }
    void MatchesFile(const COrvikDoc& d) override {
        Take("a save's rename or an open, before the journal is emptied");
        journal_.MatchesFile(d);
        Take("the journal emptied");
    }

    void Take(const std::string& moment) {
        Disk disk{moment, {}, {}, document_.Path(), shown_, document_.ToBytes()};
        if (!journal_.FilePath().empty()) {
            disk.Journal = ReadFile(journal_.FilePath());
        }
        for (const std::string& file : files_) {
            disk.Files[file] =
                fs::is_regular_file(file) ? std::optional(ReadFile(file)) : std::nullopt;
        }
        taken.push_back(std::move(disk));
    }

    std::vector<Disk> taken;

  private:
    COrvikDoc& document_;
    RecoveryJournal& journal_;
    Bytes shown_;
    std::vector<std::string> files_;
};

// What the next start gives the operator after a crash that left `disk`: the
// collection a leftover journal rebuilds, else the file as saved.
Bytes Recovered(const Disk& disk, const std::string& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [path, bytes] : disk.Files) {
        if (bytes) {
            WriteFile(path, *bytes);
        } else {
            fs::remove(path);
        }
    }
    WriteFile(folder + "/left.orj", disk.Journal);
    std::vector<LeftoverJournal> journals = FindLeftoverJournals(folder);
    EXPECT_EQ(journals.size(), 1u);
    COrvikDoc document;
    if (!journals.front().NothingToRecover()) {
        const auto rebuilt = journals.front().RebuildInto(document);
        EXPECT_TRUE(rebuilt && !rebuilt->AsNewCollection) << disk.Moment;
        return document.ToBytes();
    }
    const std::string saved = disk.Journal.empty() ? disk.Path : journals.front().CollectionPath();
    EXPECT_TRUE(document.Open(saved).Ok()) << disk.Moment;
    return document.ToBytes();
}

struct Scenario {
    const char* name;
    // Works on the document (opened from lot.tdr, or new); may save to other.tdr.
    std::function<void(COrvikDoc&, const std::string& lot, const std::string& other)> run;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class JournalSaves : public ::testing::TestWithParam<Scenario> {};

// After each operation, and at every moment of each save and open, a crash
// leaves what recovers the list the operator had then.
TEST_P(JournalSaves, EveryMomentOfASaveRecoversTheListTheOperatorHad) {
    TemporaryFolder temp;
    const std::string lot = temp.File("lot.tdr");
    const std::string other = temp.File("other.tdr");
    WriteFile(lot, FiveItems());
    COrvikDoc document;
    RecoveryJournal journal(temp.File("recovery"), document);
    CrashPoints crashes(document, journal, {lot, other});
    GetParam().run(document, lot, other);
    ASSERT_GT(crashes.taken.size(), 4u);
    for (std::size_t i = 0; i < crashes.taken.size(); ++i) {
        const Disk& disk = crashes.taken[i];
        const Bytes recovered = Recovered(disk, temp.File("scratch"));
        EXPECT_TRUE(recovered == disk.Before || recovered == disk.Now)
            << GetParam().name << ": crash " << i << ", " << disk.Moment;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, JournalSaves,
    ::testing::Values(
        // The list has as many items after the save as the file had before it,
        // so no count can tell the two files apart.
        Scenario{"record, delete a saved trace, save",
                 [](COrvikDoc& d, const std::string& lot, const std::string&) {
                     ASSERT_TRUE(d.Open(lot).Ok());
                     Record(d, "new");
                     DeleteAt(d, 2);
                     ASSERT_TRUE(d.SaveAs(lot).Ok());
                     Record(d, "after");
                 }},
        // A deletion first: the journal begins from the file's whole list.
        Scenario{"delete first after opening, then record",
                 [](COrvikDoc& d, const std::string& lot, const std::string&) {
                     ASSERT_TRUE(d.Open(lot).Ok());
                     DeleteAt(d, 0);
                     Record(d, "new");
                 }},
        Scenario{"untitled, saved as, changed, saved again",
                 [](COrvikDoc& d, const std::string&, const std::string& other) {
                     Record(d, "one");
                     ASSERT_TRUE(d.SaveAs(other).Ok());
                     DeleteAt(d, 0);
                     Record(d, "two");
                     ASSERT_TRUE(d.SaveAs(other).Ok());
                 }},
        Scenario{"saved as another file, then changed",
                 [](COrvikDoc& d, const std::string& lot, const std::string& other) {
                     ASSERT_TRUE(d.Open(lot).Ok());
                     DeleteAt(d, 4);
                     ASSERT_TRUE(d.SaveAs(other).Ok());
                     Record(d, "new");
                 }},
        // A save whose rename fails leaves its entry in the journal, and the
        // changes after it still apply to the old file.
        Scenario{"a failed save, then more changes",
                 [](COrvikDoc& d, const std::string& lot, const std::string& other) {
                     ASSERT_TRUE(d.Open(lot).Ok());
                     Record(d, "new");
                     fs::create_directories(other);  // a folder in the way of the rename
                     ASSERT_FALSE(d.SaveAs(other).Ok());
                     fs::remove(other);
                     DeleteAt(d, 1);
                 }},
        Scenario{"changes, then another collection opened",
                 [](COrvikDoc& d, const std::string& lot, const std::string& other) {
                     ASSERT_TRUE(d.Open(lot).Ok());
                     Record(d, "new");
                     COrvikDoc written;
                     written.AppendItem(Trace("elsewhere"));
                     ASSERT_TRUE(written.SaveAs(other).Ok());
                     ASSERT_TRUE(d.Open(other).Ok());
                     DeleteAt(d, 0);
                 }}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

// The reader takes a change only where the list it applies to has room for it.
TEST(JournalReader, TakesAChangeOnlyWhereTheListHasRoomForIt) {
    struct Case {
        JournalEntryKind kind;
        std::int32_t index;  // in a list of three items
        bool taken;
    };
    const Case cases[] = {
        {JournalEntryKind::Removed, 2, true},   {JournalEntryKind::Removed, 3, false},
        {JournalEntryKind::Removed, -1, false}, {JournalEntryKind::Changed, 2, true},
        {JournalEntryKind::Changed, 3, false},  {JournalEntryKind::Inserted, 3, true},
        {JournalEntryKind::Inserted, 4, false}, {JournalEntryKind::Inserted, -1, false},
    };
    for (const Case& c : cases) {
        Bytes bytes;
        EncodeJournalStart({"", 3, std::nullopt, false}, bytes);
        CouponMarker marker("1");
        const bool withItem = c.kind != JournalEntryKind::Removed;
        EncodeJournalEntry(c.kind, 1, c.index, withItem ? &marker : nullptr, bytes);
        EncodeJournalEntry(JournalEntryKind::Committed, 1, 0, nullptr, bytes);
        const JournalContents contents = ReadJournal(bytes);
        EXPECT_EQ(contents.Entries.size(), c.taken ? 2u : 0u)
            << static_cast<int>(c.kind) << " at " << c.index;
        EXPECT_EQ(contents.LostEntries, c.taken ? 0u : 2u);
    }
}

// A journal of the first version, which recorded the item count alone, is
// still recovered.
TEST(JournalReader, AFirstVersionJournalIsStillRecovered) {
    TemporaryFolder temp;
    const std::string lot = temp.File("lot.tdr");
    WriteFile(lot, FiveItems());
    Bytes bytes;
    Archive start = Archive::ForStoring();
    start.WriteInt32(static_cast<std::int32_t>(JournalEntryKind::Start));
    start.WriteString(kJournalMagic);
    start.WriteInt32(1);
    start.WriteString(lot);
    start.WriteInt32(5);
    const Bytes payload = start.TakeBytes();
    for (const std::uint32_t word : {static_cast<std::uint32_t>(payload.size()), Crc32(payload)}) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
        }
    }
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    EncodeJournalEntry(JournalEntryKind::Removed, 1, 0, nullptr, bytes);
    EncodeJournalEntry(JournalEntryKind::Committed, 1, 0, nullptr, bytes);
    const std::string path = temp.File("old.orj");
    WriteFile(path, bytes);

    auto journal = LeftoverJournal::Open(path);
    ASSERT_TRUE(journal.Ok());
    EXPECT_FALSE(journal->CollectionChanged());
    COrvikDoc rebuilt;
    ASSERT_TRUE(journal->RebuildInto(rebuilt).Ok());
    COrvikDoc expected;
    ASSERT_TRUE(expected.Open(lot).Ok());
    expected.RemoveItem(expected.Items().front().get());
    EXPECT_EQ(rebuilt.ToBytes(), expected.ToBytes());
}

}  // namespace
}  // namespace orvik
