#include "journal/journal_format.h"

#include "base/archive.h"
#include "base/collection_item.h"
#include "collection/orvik_doc.h"
#include "journal/list_shape.h"

namespace orvik {
namespace {

// A list longer than this was never journalled: the reader refuses it.
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

void WriteIdentity(Archive& archive, const FileIdentity& file) {
    archive.WriteInt32(static_cast<std::int32_t>(file.Size & 0xFFFFFFFFU));
    archive.WriteInt32(static_cast<std::int32_t>(file.Size >> 32));
    archive.WriteInt32(static_cast<std::int32_t>(file.Crc));
}

FileIdentity ReadIdentity(Archive& archive) {
    FileIdentity file;
    file.Size = static_cast<std::uint32_t>(archive.ReadInt32());
    file.Size |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(archive.ReadInt32())) << 32;
    file.Crc = static_cast<std::uint32_t>(archive.ReadInt32());
    return file;
}

bool PlausibleCount(std::int32_t count) {
    return count >= 0 && count <= kMostItems;
}

std::optional<JournalStart> DecodeStart(std::span<const std::uint8_t> payload) {
    try {
        Archive archive = Archive::ForLoading(payload);
        if (archive.ReadInt32() != static_cast<std::int32_t>(JournalEntryKind::Start) ||
            archive.ReadString() != kJournalMagic) {
            return std::nullopt;
        }
        const std::int32_t version = archive.ReadInt32();
        if (version != 1 && version != kJournalVersion) {
            return std::nullopt;
        }
        JournalStart start;
        start.CollectionPath = archive.ReadString();
        start.BaseItemCount = archive.ReadInt32();
        start.ItemCountOnly = version == 1;
        if (!start.ItemCountOnly && archive.ReadInt32() != 0) {
            start.BaseFile = ReadIdentity(archive);
        }
        if (!PlausibleCount(start.BaseItemCount)) {
            return std::nullopt;
        }
        return start;
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
}

std::optional<JournalEntryKind> KindOf(std::span<const std::uint8_t> payload) {
    if (payload.size() < 4) {
        return std::nullopt;
    }
    return static_cast<JournalEntryKind>(static_cast<std::int32_t>(LoadUint32(payload.data())));
}

std::optional<JournalSave> DecodeSave(std::span<const std::uint8_t> payload) {
    try {
        Archive archive = Archive::ForLoading(payload);
        archive.ReadInt32();  // the kind
        archive.ReadInt32();  // the default-name counter: the file holds it
        JournalSave save;
        save.ItemCount = archive.ReadInt32();
        save.CollectionPath = archive.ReadString();
        save.File = ReadIdentity(archive);
        if (archive.Remaining() != 0 || !PlausibleCount(save.ItemCount)) {
            return std::nullopt;
        }
        return save;
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

// Follows the entries over the list, checking that each fits it. The changes
// of an operation not yet committed can be taken back.
class ShapeFollower {
  public:
    explicit ShapeFollower(std::int32_t baseItems) : shape_(static_cast<std::size_t>(baseItems)) {}

    // `entry` is Entries[number] once committed.
    bool Apply(const JournalEntry& entry, std::size_t number) {
        if (entry.Kind == JournalEntryKind::Committed) {
            return true;
        }
        if (entry.Index < 0) {
            return false;
        }
        const auto index = static_cast<std::size_t>(entry.Index);
        const auto type = static_cast<std::int8_t>(entry.ItemType);
        const auto held = static_cast<std::uint32_t>(number);
        switch (entry.Kind) {
            case JournalEntryKind::Inserted:
                if (index > shape_.Size() || shape_.Size() >= kMostItems) {
                    return false;
                }
                shape_.Insert(index, {held, type, false});
                undo_.push_back({entry.Kind, index, {}});
                return true;
            case JournalEntryKind::Removed:
                if (index >= shape_.Size()) {
                    return false;
                }
                undo_.push_back({entry.Kind, index, shape_.Erase(index)});
                return true;
            case JournalEntryKind::Changed: {
                if (index >= shape_.Size()) {
                    return false;
                }
                const ListSlot old = shape_.At(index);
                if (old.Type != 0 && old.Type != type) {
                    return false;  // an item never changes its kind
                }
                const bool baseItem = old.Entry == ListSlot::kBase || old.ChangedBaseItem;
                shape_.Replace(index, {held, type, baseItem});
                undo_.push_back({entry.Kind, index, old});
                return true;
            }
            default:
                return false;
        }
    }

    void Commit() { undo_.clear(); }

    void Rollback() {
        for (auto step = undo_.rbegin(); step != undo_.rend(); ++step) {
            if (step->kind == JournalEntryKind::Inserted) {
                shape_.Erase(step->index);
            } else if (step->kind == JournalEntryKind::Removed) {
                shape_.Insert(step->index, step->slot);
            } else {
                shape_.Replace(step->index, step->slot);
            }
        }
        undo_.clear();
    }

    ListShape& Shape() { return shape_; }

  private:
    struct Undo {
        JournalEntryKind kind;
        std::size_t index;
        ListSlot slot;  // what the step removed or replaced
    };
    ListShape shape_;
    std::vector<Undo> undo_;
};

}  // namespace

void EncodeJournalStart(const JournalStart& start, std::vector<std::uint8_t>& frames) {
    Archive archive = Archive::ForStoring(64 + start.CollectionPath.size());
    archive.WriteInt32(static_cast<std::int32_t>(JournalEntryKind::Start));
    archive.WriteString(kJournalMagic);
    archive.WriteInt32(kJournalVersion);
    archive.WriteString(start.CollectionPath);
    archive.WriteInt32(start.BaseItemCount);
    archive.WriteInt32(start.BaseFile ? 1 : 0);
    if (start.BaseFile) {
        WriteIdentity(archive, *start.BaseFile);
    }
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

void EncodeJournalSave(const JournalSave& save, std::int32_t nextSampleNumber,
                       std::vector<std::uint8_t>& frames) {
    Archive archive = Archive::ForStoring(64 + save.CollectionPath.size());
    archive.WriteInt32(static_cast<std::int32_t>(JournalEntryKind::Saved));
    archive.WriteInt32(nextSampleNumber);
    archive.WriteInt32(save.ItemCount);
    archive.WriteString(save.CollectionPath);
    WriteIdentity(archive, save.File);
    AppendFrame(archive, frames);
}

JournalContents ReadJournal(std::span<const std::uint8_t> bytes) {
    JournalContents contents;
    const Frames frames = SplitFrames(bytes);
    if (frames.Payloads.empty() || !(contents.Start = DecodeStart(frames.Payloads.front()))) {
        contents.LostEntries = frames.Payloads.size() + frames.Bad;
        return contents;
    }
    ShapeFollower follower(contents.Start->BaseItemCount);
    std::size_t committed = 1;  // frames used, the start included
    std::vector<JournalEntry> operation;
    for (std::size_t next = 1; next < frames.Payloads.size(); ++next) {
        const auto payload = frames.Payloads[next];
        if (KindOf(payload) == JournalEntryKind::Saved) {
            // Between operations only, and of the list as it is.
            std::optional<JournalSave> save = DecodeSave(payload);
            if (!save || !operation.empty() ||
                static_cast<std::size_t>(save->ItemCount) != follower.Shape().Size()) {
                break;
            }
            save->FirstEntry = contents.Entries.size();
            contents.Saves.push_back(std::move(*save));
            committed = next + 1;
            continue;
        }
        const std::optional<JournalEntry> entry = DecodeEntry(payload);
        if (!entry || !follower.Apply(*entry, contents.Entries.size() + operation.size())) {
            break;  // what follows was written against a list this one is not
        }
        operation.push_back(*entry);
        if (entry->Kind == JournalEntryKind::Committed) {
            contents.Entries.insert(contents.Entries.end(), operation.begin(), operation.end());
            operation.clear();
            committed = next + 1;
            follower.Commit();
        }
    }
    contents.LostEntries = frames.Payloads.size() - committed + frames.Bad;
    follower.Rollback();
    follower.Shape().ForEach([&](const ListSlot& slot, std::size_t count) {
        if (slot.Entry != ListSlot::kBase && !slot.ChangedBaseItem) {
            contents.UnsavedItems += count;
            contents.UnsavedTraces += slot.Type == kTraceRecordType ? count : 0;
        }
    });
    return contents;
}

JournalListing ListJournal(const JournalContents& contents, std::size_t base) {
    JournalListing listing;
    if (base >= contents.Bases()) {
        return listing;
    }
    const std::int32_t baseItems =
        base == 0 ? contents.Start->BaseItemCount : contents.Saves[base - 1].ItemCount;
    ShapeFollower follower(baseItems);
    for (std::size_t i = contents.FirstEntryAfter(base); i < contents.Entries.size(); ++i) {
        follower.Apply(contents.Entries[i], i);  // read and checked over the same list
    }
    follower.Commit();
    std::size_t baseLeft = 0;
    follower.Shape().ForEach([&](const ListSlot& slot, std::size_t count) {
        if (slot.Entry == ListSlot::kBase) {
            baseLeft += count;
            return;
        }
        listing.HeldItems.push_back(slot.Entry);
        if (slot.ChangedBaseItem) {
            ++baseLeft;
            ++listing.ChangedItems;
        } else {
            ++listing.NewItems;
            listing.NewTraces += slot.Type == kTraceRecordType ? 1 : 0;
        }
    });
    listing.DeletedItems = static_cast<std::size_t>(baseItems) - baseLeft;
    return listing;
}

}  // namespace orvik
