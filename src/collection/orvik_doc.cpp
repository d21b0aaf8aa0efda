#include "collection/orvik_doc.h"

#include <algorithm>

#include "base/archive.h"
#include "base/crc32.h"
#include "base/file_store.h"
#include "script/script.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "collection";

std::unique_ptr<CollectionItem> MakeItem(std::int32_t type, SampleArena& arena) {
    switch (type) {
        case kTraceRecordType:
            return std::make_unique<TraceRecord>(&arena);
        case kScriptType:
            return std::make_unique<Script>();
        case kCouponMarkerType:
            return std::make_unique<CouponMarker>();
        default:
            throw ArchiveError(ArchiveError::Kind::BadFormat,
                               "unknown item type " + std::to_string(type));
    }
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The current trace starts with the default criterion's 45..55 ohm limits
// over 4 to 7 inches.
TraceRecord DefaultTraceTemplate() {
    TraceRecord trace;
    trace.Criteria.MaximumImpedance = 55.0;
    trace.Criteria.MinimumImpedance = 45.0;
    trace.Criteria.StartPosition = 4.0;
    trace.Criteria.EndPosition = 7.0;
    return trace;
}

}  // namespace

COrvikDoc::COrvikDoc() : TraceTemplate(DefaultTraceTemplate()) {}

COrvikDoc::~COrvikDoc() {
    ClearItems();
}

CollectionItem& COrvikDoc::AppendItem(std::unique_ptr<CollectionItem> item) {
    return InsertAt(items_.size(), std::move(item));
}

CollectionItem& COrvikDoc::InsertBefore(const CollectionItem* anchor,
                                        std::unique_ptr<CollectionItem> item) {
    const std::ptrdiff_t index = IndexOf(anchor);
    return InsertAt(index < 0 ? items_.size() : static_cast<std::size_t>(index), std::move(item));
}

CollectionItem& COrvikDoc::InsertAt(std::size_t index, std::unique_ptr<CollectionItem> item) {
    index = std::min(index, items_.size());
    CollectionItem& inserted =
        **items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
    if (listener_ != nullptr) {
        listener_->ItemInserted(*this, index);
    }
    return inserted;
}

void COrvikDoc::NoteItemChanged(const CollectionItem* item) {
    const std::ptrdiff_t index = IndexOf(item);
    if (index >= 0 && listener_ != nullptr) {
        listener_->ItemChanged(*this, static_cast<std::size_t>(index));
        listener_->ChangesComplete(*this);
    }
}

bool COrvikDoc::RemoveItem(const CollectionItem* item) {
    const std::ptrdiff_t index = IndexOf(item);
    if (index < 0) {
        return false;
    }
    if (ActiveScript == item) {
        ActiveScript = nullptr;
        ActiveElement = nullptr;
    }
    if (ShownItem() == item) {
        // The graph must not go on showing a trace that no longer exists; a
        // measurement made since the trace was shown stays.
        ShowNoMeasurement(CurrentTraceKind::NoMeasurement);
    }
    items_.erase(items_.begin() + index);
    if (listener_ != nullptr) {
        listener_->ItemRemoved(*this, static_cast<std::size_t>(index));
    }
    return true;
}

void COrvikDoc::ShowStoredTrace(const TraceRecord& trace) {
    TraceTemplate.CopyFrom(trace);
    CurrentKind = CurrentTraceKind::StoredTrace;
    shownItem_ = &trace;
}

void COrvikDoc::ShowNoMeasurement(CurrentTraceKind kind) {
    const Criterion criterion = TraceTemplate.Criteria;
    TraceTemplate.MakeBlank(&criterion);
    TraceTemplate.Evaluate();
    CurrentKind = kind;
    shownItem_ = nullptr;
}

std::ptrdiff_t COrvikDoc::IndexOf(const CollectionItem* item) const {
    if (item == nullptr) {
        return -1;
    }
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [&](const auto& owned) { return owned.get() == item; });
    return found == items_.end() ? -1 : found - items_.begin();
}

void COrvikDoc::ClearItems() {
    // A running script may be one of the items; it goes with them.
    for (const auto& item : items_) {
        if (ActiveScript == item.get()) {
            ActiveScript = nullptr;
            ActiveElement = nullptr;
        }
    }
    if (ShownItem() != nullptr) {
        ShowNoMeasurement(CurrentTraceKind::NoMeasurement);
    }
    items_.clear();
}

CollectionContents ReadCollection(Archive& archive) {
    CollectionContents contents;
    contents.FileVersion = archive.ReadInt32();
    if (contents.FileVersion > 1) {
        contents.NextSampleNumber = archive.ReadInt32();
    }
    while (archive.ReadInt32() != 0) {
        std::int32_t type = kTraceRecordType;
        std::int32_t tag = 0;
        if (contents.FileVersion > 2) {
            type = archive.ReadInt32();
            tag = archive.ReadInt32();
        }
        archive.SetOldRecordLayout(contents.FileVersion < 4);
        std::unique_ptr<CollectionItem> item = MakeItem(type, *contents.Arena);
        item->Serialize(archive);
        item->Tag = tag;
        contents.Items.push_back(std::move(item));
    }
    return contents;
}

std::unique_ptr<CollectionItem> ReadCollectionItem(Archive& archive, SampleArena& arena) {
    const std::int32_t type = archive.ReadInt32();
    const std::int32_t tag = archive.ReadInt32();
    std::unique_ptr<CollectionItem> item = MakeItem(type, arena);
    item->Serialize(archive);
    item->Tag = tag;
    return item;
}

void WriteCollectionItem(Archive& archive, CollectionItem& item) {
    archive.WriteInt32(item.TypeCode);
    archive.WriteInt32(item.Tag);
    item.Serialize(archive);
}

CollectionContents ReadCollection(std::span<const std::uint8_t> bytes) {
    Archive archive = Archive::ForLoading(bytes);
    return ReadCollection(archive);
}

void COrvikDoc::Serialize(Archive& archive) {
    if (archive.IsLoading()) {
        // Everything is read before anything is replaced, so a file that
        // fails half way leaves the document as it was.
        CollectionContents contents = ReadCollection(archive);
        ClearItems();
        arenas_.clear();
        arenas_.push_back(std::move(contents.Arena));
        items_ = std::move(contents.Items);
        NextSampleNumber = contents.NextSampleNumber;
        return;
    }
    archive.WriteInt32(kFileVersion);
    archive.WriteInt32(NextSampleNumber);
    for (const auto& item : items_) {
        archive.WriteInt32(1);
        WriteCollectionItem(archive, *item);
    }
    archive.WriteInt32(0);
}

std::vector<std::uint8_t> COrvikDoc::ToBytes() {
    std::size_t estimate = 12;
    for (const auto& item : items_) {
        estimate += 256;
        if (item->TypeCode == kTraceRecordType) {
            estimate += static_cast<const TraceRecord&>(*item).Samples.size() * sizeof(TraceSample);
        }
    }
    Archive archive = Archive::ForStoring(estimate);
    Serialize(archive);
    return archive.TakeBytes();
}

Status COrvikDoc::Open(const std::string& path) {
    Status read = Load(path);
    if (!read) {
        log_->Warning(kLogSource,
                      "Refused " + path + ": " + read.Error().Message + " " + read.Error().Detail);
        return read;
    }
    SetPath(path);
    RenewHold();
    modified_ = false;
    if (listener_ != nullptr) {
        listener_->MatchesFile(*this);
    }
    log_->Info(kLogSource, "Opened " + path + " with " + std::to_string(items_.size()) + " items");
    UpdateAllViews(DocumentChange{DocumentChange::Kind::Reloaded});
    return {};
}

Status COrvikDoc::Load(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        return Failure{kFailedToOpenDocument, bytes.Error().Message};
    }
    try {
        Archive archive = Archive::ForLoading(*bytes);
        Serialize(archive);
        diskStamp_ = bytes->Stamp();
    } catch (const ArchiveError& failure) {
        return Failure{kUnexpectedFileFormat, failure.what()};
    } catch (const std::bad_alloc&) {
        return Failure{kFailedToOpenDocument, "not enough memory to read " + path};
    }
    savedFile_ = IdentifyBytes(*bytes);
    return {};
}

Status COrvikDoc::SaveAs(const std::string& path) {
    AtomicFileWriter writer(path);
    Crc32Accumulator crc;
    std::uint64_t size = 0;
    Archive archive = Archive::ForStoring([&](auto bytes) {
        writer.Write(bytes);
        crc.Add(bytes);
        size += bytes.size();
    });
    Serialize(archive);
    archive.Flush();
    const FileIdentity produced{size, crc.Value()};
    // The journal learns what the new file holds before the file replaces the
    // old one, so that whenever the program ends, recovery can tell which
    // of the two its changes belong to.
    const Status written = writer.Commit([&] {
        if (listener_ != nullptr) {
            listener_->Saving(*this, path, produced);
        }
    });
    if (!written) {
        log_->Error(kLogSource, "Save of " + path + " failed: " + written.Error().Message);
        return Failure{kFailedToSaveDocument, written.Error().Message};
    }
    SetPath(path);
    diskStamp_ = writer.Stamp();
    RenewHold();
    modified_ = false;
    savedFile_ = produced;
    if (listener_ != nullptr) {
        listener_->MatchesFile(*this);
    }
    log_->Info(kLogSource, "Saved " + path + " with " + std::to_string(items_.size()) + " items");
    return {};
}

void COrvikDoc::HoldFile() {
    holdsFile_ = true;
    RenewHold();
}

void COrvikDoc::ReleaseFile() {
    holdsFile_ = false;
    RenewHold();
}

// A save puts a new file in place of the old: the hold moves with it.
void COrvikDoc::RenewHold() {
    hold_ = holdsFile_ && !path_.empty() ? FileHold(path_) : FileHold();
}

bool COrvikDoc::ChangedOnDisk() const {
    if (path_.empty()) {
        return false;
    }
    const std::optional<FileStamp> now = StampOf(path_);
    return now.has_value() && now != diskStamp_;
}

void COrvikDoc::SetPath(const std::string& path) {
    path_ = path;
    title_ = FileNameOf(path);
}

void COrvikDoc::AddObserver(DocumentObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void COrvikDoc::RemoveObserver(DocumentObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void COrvikDoc::UpdateAllViews(DocumentObserver* sender, const DocumentChange& change) {
    // An observer may go away while it is being updated; walk a copy.
    const std::vector<DocumentObserver*> observers = observers_;
    for (DocumentObserver* observer : observers) {
        if (observer != sender &&
            std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
            observer->OnDocumentUpdate(*this, sender, change);
        }
    }
    // The windows have taken in the change but not drawn it yet.
    if (listener_ != nullptr) {
        listener_->ChangesComplete(*this);
    }
}

}  // namespace orvik
