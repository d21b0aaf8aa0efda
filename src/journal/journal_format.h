#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvik {

class CollectionItem;

// CRC-32 (IEEE 802.3, as zlib computes it) of `bytes`.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// A journal file is a series of frames: uint32 length, uint32 CRC-32 of the
// payload, payload. The first payload starts the journal; every other one is
// one change of the item list, and a Committed entry ends the changes of one
// operation, which are recovered all together or not at all. Payloads use the
// collection's archive encoding; an item is stored as the collection file
// stores it.
enum class JournalEntryKind : std::int32_t {
    Start = 1,      // collection path, its item count when the journal began
    Inserted = 2,   // index, item
    Removed = 3,    // index
    Changed = 4,    // index, item (the item's new contents)
    Committed = 5,  // the default-name counter after the operation
};

inline constexpr std::size_t kJournalFrameHeader = 8;
inline constexpr std::int32_t kJournalVersion = 1;
inline constexpr const char* kJournalMagic = "Orvik recovery journal";

// What the journal was begun for: the collection's file (empty for an
// untitled collection) and how many items that file held.
struct JournalStart {
    std::string CollectionPath;
    std::int32_t BaseItemCount = 0;
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

// Everything a journal file holds that can be trusted. Entries borrow the
// bytes they were read from; they end with a Committed entry.
struct JournalContents {
    std::optional<JournalStart> Start;
    std::vector<JournalEntry> Entries;
    // Frames at the end that cannot be used: cut short, damaged, not
    // committed, or changes that do not fit the list they would change.
    std::size_t LostEntries = 0;
    // Items that the entries put into the list and that are still in it,
    // and how many of them are traces.
    std::size_t UnsavedItems = 0;
    std::size_t UnsavedTraces = 0;

    bool Complete() const { return Start.has_value() && LostEntries == 0; }
};

// Reads every committed operation up to the first frame that is cut short,
// fails its CRC, does not decode or names an index outside the list; never
// throws.
JournalContents ReadJournal(std::span<const std::uint8_t> bytes);

}  // namespace orvik
