#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/collection_item.h"
#include "base/diagnostic_log.h"
#include "base/failure.h"
#include "base/file_identity.h"
#include "base/file_stamp.h"
#include "collection/sample_arena.h"
#include "collection/trace_record.h"

namespace orvik {

class Archive;
class COrvikDoc;
class Script;
class ScriptElement;

// What an update of a collection is about, so that a window can do just
// what the change needs.
struct DocumentChange {
    enum class Kind {
        CurrentTrace,     // the current trace was refilled, re-judged or chosen
        TraceRecorded,    // `Recorded` was appended to the items
        ItemsDeleted,     // items left the list
        Reloaded,         // the whole item list was replaced
        RunStateChanged,  // a scripted run started, moved on or stopped
    };
    Kind What = Kind::CurrentTrace;
    TraceRecord* Recorded = nullptr;

    static DocumentChange TraceRecordedAs(TraceRecord& record) {
        return {Kind::TraceRecorded, &record};
    }
};

// A window that shows a collection. The document calls every observer on
// each update; an observer ignores updates that it sent itself.
class DocumentObserver {
  public:
    virtual ~DocumentObserver() = default;
    virtual void OnDocumentUpdate(COrvikDoc& document, DocumentObserver* sender,
                                  const DocumentChange& change) = 0;
};

// Hears every change of a collection's item list as it happens, and when the
// changes of one operation are complete: the recovery journal keeps the
// unsaved changes on disk this way. Indexes are positions in the item list.
class ItemListListener {
  public:
    virtual ~ItemListListener() = default;
    // The item now at `index` was put into the list.
    virtual void ItemInserted(const COrvikDoc& document, std::size_t index) = 0;
    // The item that was at `index` left the list.
    virtual void ItemRemoved(const COrvikDoc& document, std::size_t index) = 0;
    // The stored contents of the item at `index` changed in place.
    virtual void ItemChanged(const COrvikDoc& document, std::size_t index) = 0;
    // The changes so far make one whole operation (a record with the script
    // and coupon items filed with it, a deletion) and the windows are about
    // to show them: after every update of the views, and after a change in
    // place.
    virtual void ChangesComplete(const COrvikDoc& document) = 0;
    // The list is now exactly what the document's file holds: it was opened
    // or saved.
    virtual void MatchesFile(const COrvikDoc& document) = 0;
    // A save has put a file holding the whole list on the disk and is about to
    // put it in place of `path`; MatchesFile follows once it is there. A
    // failed save says nothing more.
    virtual void Saving(const COrvikDoc& document, const std::string& path,
                        const FileIdentity& file) {
        static_cast<void>(document);
        static_cast<void>(path);
        static_cast<void>(file);
    }
};

// Texts shown when a collection cannot be read or written.
inline constexpr const char* kFailedToOpenDocument = "Failed to open document.";
inline constexpr const char* kFailedToSaveDocument = "Failed to save document.";
inline constexpr const char* kUnexpectedFileFormat = "Unexpected file format.";

// What a collection's current trace holds. It decides what the graph may say
// about the trace and whether Record Test may file it: only a measurement that
// has not been filed yet is recordable.
enum class CurrentTraceKind {
    NoMeasurement,  // nothing has been measured in this window yet
    Measurement,    // the latest Run Test, not filed yet
    Recorded,       // the latest Run Test, filed once already
    FailedTest,     // the latest Run Test failed: nothing to show or file
    StoredTrace,    // a copy of one of the collection's traces, chosen in the tree
};

// A trace collection: its items in file order, the current trace that every
// acquisition refills, the default-name counter and the state of a scripted run.
class COrvikDoc {
  public:
    using ItemList = std::vector<std::unique_ptr<CollectionItem>>;

    COrvikDoc();
    ~COrvikDoc();
    COrvikDoc(const COrvikDoc&) = delete;
    COrvikDoc& operator=(const COrvikDoc&) = delete;

    static constexpr std::int32_t kFileVersion = 4;

    // The current trace; never stored in the file.
    TraceRecord TraceTemplate;
    std::int32_t NextSampleNumber = 1;
    Script* ActiveScript = nullptr;
    ScriptElement* ActiveElement = nullptr;
    CurrentTraceKind CurrentKind = CurrentTraceKind::NoMeasurement;

    // The current trace holds a measurement that Record Test may file.
    bool CanRecord() const { return CurrentKind == CurrentTraceKind::Measurement; }
    // The current trace becomes a copy of `trace`, one of the collection's items.
    void ShowStoredTrace(const TraceRecord& trace);
    // The current trace becomes a blank one, judged by nothing: after a failed
    // test, or when the trace it showed has been deleted.
    void ShowNoMeasurement(CurrentTraceKind kind);
    // The stored trace that the current trace copies; none otherwise, also
    // once a measurement has taken its place.
    const CollectionItem* ShownItem() const {
        return CurrentKind == CurrentTraceKind::StoredTrace ? shownItem_ : nullptr;
    }

    const ItemList& Items() const { return items_; }
    CollectionItem& AppendItem(std::unique_ptr<CollectionItem> item);
    // Inserts before `anchor`; at the end when `anchor` is not in the list.
    CollectionItem& InsertBefore(const CollectionItem* anchor,
                                 std::unique_ptr<CollectionItem> item);
    // Inserts so that the item is at `index` (at most the item count).
    CollectionItem& InsertAt(std::size_t index, std::unique_ptr<CollectionItem> item);
    // Destroys the item; false when it is not in the list.
    bool RemoveItem(const CollectionItem* item);
    // Position of the item in the list, or -1.
    std::ptrdiff_t IndexOf(const CollectionItem* item) const;
    // Tells the item-list listener that a stored item changed in place (a
    // resumed script's serial counter), a whole change of its own; nothing
    // when it is not in the list.
    void NoteItemChanged(const CollectionItem* item);
    void ClearItems();
    // Keeps `arena` as long as the document: items read into it are added.
    void AdoptArena(std::shared_ptr<SampleArena> arena) { arenas_.push_back(std::move(arena)); }

    // At most one listener; none to stop.
    void SetItemListener(ItemListListener* listener) { listener_ = listener; }

    // Reads or writes the whole collection (file version 4 when written).
    // Loading replaces the items only when the whole stream has been read.
    void Serialize(Archive& archive);

    // Loads `path`; on any failure the document stays exactly as it was. A
    // failure's message is one of the texts above, its detail what exactly
    // failed; both go to the diagnostic log.
    Status Open(const std::string& path);
    // Saves to `path` through a temporary file; the old file survives a failure.
    Status SaveAs(const std::string& path);
    std::vector<std::uint8_t> ToBytes();

    // Whether the file at Path() is no longer the one this document last
    // opened or saved: another program (or another window) saved over it, or
    // a file appeared where there was none. A file that has gone holds
    // nothing a save could lose.
    bool ChangedOnDisk() const;
    // From now on the document holds its file (FileHold) through every open
    // and save, so that other programs can tell that it is open and will be
    // saved: what a collection window or a batch that saves does.
    void HoldFile();
    // The document's window has closed: others may open the file freely.
    void ReleaseFile();

    const std::string& Path() const { return path_; }
    const std::string& Title() const { return title_; }
    void SetPath(const std::string& path);
    void SetTitle(const std::string& title) { title_ = title; }
    bool IsModified() const { return modified_; }
    // What the file held when the list last matched it (opened or saved);
    // none for a collection that has never been read from or written to one.
    const std::optional<FileIdentity>& SavedFile() const { return savedFile_; }
    void SetModified(bool modified = true) { modified_ = modified; }

    // Where refused files and failed saves are recorded; none by default.
    void SetLog(DiagnosticLog& log) { log_ = &log; }

    void AddObserver(DocumentObserver* observer);
    void RemoveObserver(DocumentObserver* observer);
    void UpdateAllViews(DocumentObserver* sender = nullptr, const DocumentChange& change = {});
    void UpdateAllViews(const DocumentChange& change) { UpdateAllViews(nullptr, change); }

  private:
    // Reads the file into the items; the document is unchanged on failure.
    Status Load(const std::string& path);
    void RenewHold();

    // Declared before the items: the arenas hold their samples and must be
    // destroyed after them.
    std::vector<std::shared_ptr<SampleArena>> arenas_;
    ItemList items_;
    std::string path_;
    std::string title_ = "Untitled";
    const CollectionItem* shownItem_ = nullptr;
    bool modified_ = false;
    std::optional<FileIdentity> savedFile_;
    std::vector<DocumentObserver*> observers_;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
    ItemListListener* listener_ = nullptr;
    std::optional<FileStamp> diskStamp_;  // the file as last opened or saved
    bool holdsFile_ = false;
    FileHold hold_;
};

// Decodes a collection file without touching any document.
struct CollectionContents {
    std::shared_ptr<SampleArena> Arena = std::make_shared<SampleArena>();  // before Items
    std::int32_t FileVersion = 0;
    std::int32_t NextSampleNumber = 1;
    COrvikDoc::ItemList Items;
};
// Both throw ArchiveError on a malformed or truncated stream.
CollectionContents ReadCollection(Archive& archive);
CollectionContents ReadCollection(std::span<const std::uint8_t> bytes);

// One item as a collection file holds it: type code, tag, then its contents.
// Reading throws ArchiveError; a trace's samples go into `arena`.
std::unique_ptr<CollectionItem> ReadCollectionItem(Archive& archive, SampleArena& arena);
void WriteCollectionItem(Archive& archive, CollectionItem& item);

}  // namespace orvik
