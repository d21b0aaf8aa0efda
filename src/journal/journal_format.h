#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/file_identity.h"

namespace orvik {

class CollectionItem;

// A journal file is a series of frames: uint32 length, uint32 CRC-32 of the
// payload, payload. The first payload starts the journal; every other one is
// one change of the item list, and a Committed entry ends the changes of one
// operation, which are recovered all together or not at all. Payloads use the
// collection's archive encoding; an item is stored as the collection file
// stores it.
enum class JournalEntryKind : std::int32_t {
    Start = 1,      // collection path, item count and file the journal began from
    Inserted = 2,   // index, item
    Removed = 3,    // index
    Changed = 4,    // index, item (the item's new contents)
    Committed = 5,  // the default-name counter after the operation
    Saved = 6,      // a save about to put a file holding the list in place
};

inline constexpr std::size_t kJournalFrameHeader = 8;
// Version 2 names the file each list came from; version 1 journals (the item
// count alone) are still read.
inline constexpr std::int32_t kJournalVersion = 2;
inline constexpr const char* kJournalMagic = "Orvik recovery journal";

// What the journal was begun for: the collection's file (empty for an
// untitled collection), how many items the list held, and what the file held
// when the list last matched it. No file: the list began empty, never read
// from or written to a file.
struct JournalStart {
    std::string CollectionPath;
    std::int32_t BaseItemCount = 0;
    std::optional<FileIdentity> BaseFile;
    bool ItemCountOnly = false;  // a version 1 journal: the count is all it says
};

// A save that had the new file on the disk and was about to put it in place
// of `CollectionPath`: the changes before it are in that file, if the file
// is there.
struct JournalSave {
    std::string CollectionPath;
    std::int32_t ItemCount = 0;
    FileIdentity File;
    std::size_t FirstEntry = 0;  // where the changes after it begin in Entries
};

struct JournalEntry {
    JournalEntryKind Kind = JournalEntryKind::Inserted;
    std::int32_t NextSampleNumber = 1;  // the collection's default-name counter
    std::int32_t Index = 0;
    std::int32_t ItemType = 0;           // Inserted and Changed
    std::span<const std::uint8_t> Item;  // type, tag, contents; Inserted and Changed
};

// Framed payloads, appended to `frames`.
void EncodeJournalStart(const JournalStart& start, std::vector<std::uint8_t>& frames);
void EncodeJournalEntry(JournalEntryKind kind, std::int32_t nextSampleNumber, std::int32_t index,
                        CollectionItem* item, std::vector<std::uint8_t>& frames);
void EncodeJournalSave(const JournalSave& save, std::int32_t nextSampleNumber,
                       std::vector<std::uint8_t>& frames);

// Everything a journal file holds that can be trusted. Entries borrow the
// bytes they were read from; they end with a Committed entry.
struct JournalContents {
    std::optional<JournalStart> Start;
    std::vector<JournalSave> Saves;  // in the order they were made
    std::vector<JournalEntry> Entries;
    // Frames at the end that cannot be used: cut short, damaged, not
    // committed, or changes that do not fit the list they would change.
    std::size_t LostEntries = 0;
    // Items that the entries put into the list and that are still in it,
    // and how many of them are traces.
    std::size_t UnsavedItems = 0;
    std::size_t UnsavedTraces = 0;

    bool Complete() const { return Start.has_value() && LostEntries == 0; }
    // The lists the changes can be applied to: 0 the start's, then one per save.
    std::size_t Bases() const { return Start ? 1 + Saves.size() : 0; }
    // Where the changes made after base `base` begin in Entries.
    std::size_t FirstEntryAfter(std::size_t base) const {
        return base == 0 ? 0 : Saves[base - 1].FirstEntry;
    }
};

// Reads every committed operation up to the first frame that is cut short,
// fails its CRC, does not decode or names an index outside the list; never
// throws.
JournalContents ReadJournal(std::span<const std::uint8_t> bytes);

// What the journal's changes after base `base` leave in the list.
struct JournalListing {
    std::size_t NewItems = 0;  // put in after the base and still there
    std::size_t NewTraces = 0;
    std::size_t ChangedItems = 0;  // items of the base list changed in place
    std::size_t DeletedItems = 0;  // items of the base list no longer there
    // The entries holding the contents of every item in the final list that
    // the journal has contents for (the new and the changed ones), in list
    // order.
    std::vector<std::size_t> HeldItems;
};
JournalListing ListJournal(const JournalContents& contents, std::size_t base);

}  // namespace orvik
