#include "journal/journal_format.h"

#include <array>

#include "base/archive.h"
#include "base/collection_item.h"
#include "collection/orvik_doc.h"

namespace orvik {
namespace {

// Eight tables, so that the CRC takes eight bytes a step: a journal of
// 10,000 traces is 120 MB, and a byte a step would be most of its recovery.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        tables[0][n] = c;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            const std::uint32_t previous = tables[k - 1][n];
            tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFFU];
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

// A list longer than this was never journalled: the reader refuses it rather
// than keep a flag for every item.
constexpr std::int32_t kMostItems = 1 << 22;

std::uint32_t LoadUint32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void StoreUint32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Appends the archive's payload to `frames` behind its frame header.
void AppendFrame(Archive& archive, std::vector<std::uint8_t>& frames) {
    const std::vector<std::uint8_t>& payload = archive.Bytes();
    std::uint8_t header[kJournalFrameHeader];
    StoreUint32(header, static_cast<std::uint32_t>(payload.size()));
    StoreUint32(header + 4, Crc32(payload));
    frames.insert(frames.end(), header, header + kJournalFrameHeader);
    frames.insert(frames.end(), payload.begin(), payload.end());
}

// The payloads of the frames that are whole and pass their CRC, and the
// number of frames (whole or not) after the first one that does not.
struct Frames {
    std::vector<std::span<const std::uint8_t>> Payloads;
    std::size_t Bad = 0;
};

Frames SplitFrames(std::span<const std::uint8_t> bytes) {
    Frames frames;
    std::size_t at = 0;
    bool damaged = false;
    while (at < bytes.size()) {
        if (bytes.size() - at < kJournalFrameHeader) {
            ++frames.Bad;  // a header cut short
            break;
        }
        const std::uint32_t length = LoadUint32(bytes.data() + at);
        const std::uint32_t crc = LoadUint32(bytes.data() + at + 4);
        if (length > bytes.size() - at - kJournalFrameHeader) {
            ++frames.Bad;  // a payload cut short
            break;
        }
        const auto payload = bytes.subspan(at + kJournalFrameHeader, length);
        at += kJournalFrameHeader + length;
        damaged = damaged || Crc32(payload) != crc;
        if (damaged) {
            ++frames.Bad;
        } else {
            frames.Payloads.push_back(payload);
        }
    }
    return frames;
}

std::optional<JournalStart> DecodeStart(std::span<const std::uint8_t> payload) {
    try {
        Archive archive = Archive::ForLoading(payload);
        if (archive.ReadInt32() != static_cast<std::int32_t>(JournalEntryKind::Start) ||
            archive.ReadString() != kJournalMagic || archive.ReadInt32() != kJournalVersion) {
            return std::nullopt;
        }
        JournalStart start;
        start.CollectionPath = archive.ReadString();
        start.BaseItemCount = archive.ReadInt32();
        if (start.BaseItemCount < 0 || start.BaseItemCount > kMostItems) {
            return std::nullopt;
        }
        return start;
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
}

std::optional<JournalEntry> DecodeEntry(std::span<const std::uint8_t> payload) {
    try {
        Archive archive = Archive::ForLoading(payload);
        JournalEntry entry;
        const std::int32_t kind = archive.ReadInt32();
        entry.NextSampleNumber = archive.ReadInt32();
        entry.Index = archive.ReadInt32();
        switch (kind) {
            case static_cast<std::int32_t>(JournalEntryKind::Removed):
            case static_cast<std::int32_t>(JournalEntryKind::Committed):
                entry.Kind = static_cast<JournalEntryKind>(kind);
                return archive.Remaining() == 0 ? std::optional(entry) : std::nullopt;
            case static_cast<std::int32_t>(JournalEntryKind::Inserted):
            case static_cast<std::int32_t>(JournalEntryKind::Changed):
                entry.Kind = static_cast<JournalEntryKind>(kind);
                entry.Item = payload.subspan(archive.Position());
                entry.ItemType = archive.ReadInt32();
                if (entry.ItemType < kTraceRecordType || entry.ItemType > kCouponMarkerType) {
                    return std::nullopt;
                }
                return entry;
            default:
                return std::nullopt;
        }
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
}

// Follows the entries over the list: which of its items the journal put
// there. The changes of an operation not yet committed can be taken back.
class ListShape {
  public:
    explicit ListShape(std::int32_t baseItems) : types_(static_cast<std::size_t>(baseItems), 0) {}

    bool Apply(const JournalEntry& entry) {
        if (entry.Kind == JournalEntryKind::Committed) {
            return true;
        }
        if (entry.Index < 0) {
            return false;
        }
        const auto index = static_cast<std::size_t>(entry.Index);
        switch (entry.Kind) {
            case JournalEntryKind::Inserted:
                if (index > types_.size() || types_.size() >= kMostItems) {
                    return false;
                }
                types_.insert(types_.begin() + entry.Index, entry.ItemType);
                undo_.push_back({entry.Index, -1});
                return true;
            case JournalEntryKind::Removed:
                if (index >= types_.size()) {
                    return false;
                }
                undo_.push_back({entry.Index, types_[index]});
                types_.erase(types_.begin() + entry.Index);
                return true;
            case JournalEntryKind::Changed:
                return index < types_.size() &&
                       (types_[index] == 0 || types_[index] == entry.ItemType);
            default:
                return false;
        }
    }

    void Commit() { undo_.clear(); }

    // Counts the items of the committed list.
    void Count(JournalContents& contents) {
        for (auto step = undo_.rbegin(); step != undo_.rend(); ++step) {
            if (step->removedType < 0) {
                types_.erase(types_.begin() + step->index);
            } else {
                types_.insert(types_.begin() + step->index, step->removedType);
            }
        }
        undo_.clear();
        for (const std::int32_t type : types_) {
            contents.UnsavedItems += type != 0 ? 1 : 0;
            contents.UnsavedTraces += type == kTraceRecordType ? 1 : 0;
        }
    }

  private:
    struct Undo {
        std::int32_t index;
        std::int32_t removedType;  // -1: the step inserted
    };
    std::vector<std::int32_t> types_;  // 0: an item of the saved file
    std::vector<Undo> undo_;
};

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    const auto& t = kCrcTables;
    std::uint32_t crc = 0xFFFFFFFFU;
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        const std::uint32_t low = crc ^ LoadUint32(bytes.data() + at);
        const std::uint32_t high = LoadUint32(bytes.data() + at + 4);
        crc = t[7][low & 0xFFU] ^ t[6][(low >> 8) & 0xFFU] ^ t[5][(low >> 16) & 0xFFU] ^
              t[4][low >> 24] ^ t[3][high & 0xFFU] ^ t[2][(high >> 8) & 0xFFU] ^
              t[1][(high >> 16) & 0xFFU] ^ t[0][high >> 24];
    }
    for (; at < bytes.size(); ++at) {
        crc = t[0][(crc ^ bytes[at]) & 0xFFU] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

void EncodeJournalStart(const JournalStart& start, std::vector<std::uint8_t>& frames) {
    Archive archive = Archive::ForStoring(64 + start.CollectionPath.size());
    archive.WriteInt32(static_cast<std::int32_t>(JournalEntryKind::Start));
    archive.WriteString(kJournalMagic);
    archive.WriteInt32(kJournalVersion);
    archive.WriteString(start.CollectionPath);
    archive.WriteInt32(start.BaseItemCount);
    AppendFrame(archive, frames);
}

void EncodeJournalEntry(JournalEntryKind kind, std::int32_t nextSampleNumber, std::int32_t index,
                        CollectionItem* item, std::vector<std::uint8_t>& frames) {
    std::size_t reserve = 256;
    if (item != nullptr && item->TypeCode == kTraceRecordType) {
        reserve += static_cast<const TraceRecord&>(*item).Samples.size() * sizeof(TraceSample);
    }
    Archive archive = Archive::ForStoring(reserve);
    archive.WriteInt32(static_cast<std::int32_t>(kind));
    archive.WriteInt32(nextSampleNumber);
    archive.WriteInt32(index);
    if (item != nullptr) {
        WriteCollectionItem(archive, *item);
    }
    AppendFrame(archive, frames);
}

JournalContents ReadJournal(std::span<const std::uint8_t> bytes) {
    JournalContents contents;
    const Frames frames = SplitFrames(bytes);
    if (frames.Payloads.empty() || !(contents.Start = DecodeStart(frames.Payloads.front()))) {
        contents.LostEntries = frames.Payloads.size() + frames.Bad;
        return contents;
    }
    ListShape shape(contents.Start->BaseItemCount);
    std::size_t committed = 1;  // frames used, the start included
    std::vector<JournalEntry> operation;
    for (std::size_t next = 1; next < frames.Payloads.size(); ++next) {
        const std::optional<JournalEntry> entry = DecodeEntry(frames.Payloads[next]);
        if (!entry || !shape.Apply(*entry)) {
            break;  // what follows was written against a list this one is not
        }
        operation.push_back(*entry);
        if (entry->Kind == JournalEntryKind::Committed) {
            contents.Entries.insert(contents.Entries.end(), operation.begin(), operation.end());
            operation.clear();
            committed = next + 1;
            shape.Commit();
        }
    }
    contents.LostEntries = frames.Payloads.size() - committed + frames.Bad;
    shape.Count(contents);
    return contents;
}

}  // namespace orvik
