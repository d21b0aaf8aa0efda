#include "journal/journal_recovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "base/abandoned_files.h"
#include "base/archive.h"
#include "base/file_store.h"
#include "collection/orvik_doc.h"
#include "journal/recovery_journal.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "journal";

std::string SystemError(const std::string& action, const std::string& path) {
    return action + " " + path + ": " + std::strerror(errno);
}

// "1 unsaved trace", "2 unsaved traces".
std::string Counted(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string LostNote(const JournalContents& contents) {
    if (contents.LostEntries == 0) {
        return {};
    }
    const std::size_t lost = contents.LostEntries;
    return " (" + std::to_string(lost) + " damaged or unfinished " +
           (lost == 1 ? "entry" : "entries") + " at its end cannot be recovered)";
}

std::string NameOf(const std::string& path) {
    return path.empty() ? std::string("Untitled") : std::filesystem::path(path).filename().string();
}

std::string ChangedSince(const std::string& path) {
    return "The collection " + path + " has changed since its journal began.";
}

// The path, item count and file of base `base`.
struct BaseList {
    const std::string& Path;
    std::int32_t Items;
    const std::optional<FileIdentity> File;
};

BaseList BaseOf(const JournalContents& contents, std::size_t base) {
    if (base == 0) {
        return {contents.Start->CollectionPath, contents.Start->BaseItemCount,
                contents.Start->BaseFile};
    }
    const JournalSave& save = contents.Saves[base - 1];
    return {save.CollectionPath, save.ItemCount, save.File};
}

// A first-version journal knows only how many items its file held.
Status OpenCountedBase(COrvikDoc& document, const JournalStart& start) {
    if (start.CollectionPath.empty()) {
        return start.BaseItemCount == 0
                   ? Status{}
                   : Status{Failure{"The journal names no collection but begins after " +
                                        std::to_string(start.BaseItemCount) + " items.",
                                    {}}};
    }
    if (!FileExists(start.CollectionPath)) {
        if (start.BaseItemCount != 0) {
            return Failure{"The collection " + start.CollectionPath + " no longer exists.", {}};
        }
        document.SetPath(start.CollectionPath);
        return {};
    }
    if (Status opened = document.Open(start.CollectionPath); !opened) {
        return Failure{opened.Error().Message + " " + start.CollectionPath, opened.Error().Detail};
    }
    if (document.Items().size() != static_cast<std::size_t>(start.BaseItemCount)) {
        return Failure{ChangedSince(start.CollectionPath),
                       "it holds " + std::to_string(document.Items().size()) +
                           " items, the journal began after " +
                           std::to_string(start.BaseItemCount)};
    }
    return {};
}

// The saved collection that the changes after base `base` apply to.
Status OpenBase(COrvikDoc& document, const JournalContents& contents, std::size_t base) {
    if (base == 0 && contents.Start->ItemCountOnly) {
        return OpenCountedBase(document, *contents.Start);
    }
    const BaseList list = BaseOf(contents, base);
    if (!list.File) {
        // Begun empty, with no file: the journal holds the whole list.
        if (list.Items != 0 || (!list.Path.empty() && FileExists(list.Path))) {
            return Failure{ChangedSince(list.Path), "the journal began with no file"};
        }
        if (!list.Path.empty()) {
            document.SetPath(list.Path);
        }
        return {};
    }
    if (Status opened = document.Open(list.Path); !opened) {
        return Failure{opened.Error().Message + " " + list.Path, opened.Error().Detail};
    }
    if (document.SavedFile() != list.File ||
        document.Items().size() != static_cast<std::size_t>(list.Items)) {
        return Failure{ChangedSince(list.Path),
                       "it no longer holds what the journal's changes "
                       "apply to"};
    }
    return {};
}

// One change, its item decoded.
struct DecodedChange {
    JournalEntryKind Kind;
    std::size_t Index;
    std::unique_ptr<CollectionItem> Item;
};

std::optional<DecodedChange> Decode(const JournalEntry& entry, SampleArena& arena) {
    DecodedChange change{entry.Kind, static_cast<std::size_t>(entry.Index), nullptr};
    if (entry.Kind == JournalEntryKind::Removed) {
        return change;
    }
    try {
        Archive archive = Archive::ForLoading(entry.Item);
        change.Item = ReadCollectionItem(archive, arena);
        if (archive.Remaining() != 0) {
            return std::nullopt;
        }
    } catch (const ArchiveError&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return change;
}

bool Fits(const COrvikDoc& document, const DecodedChange& change) {
    const std::size_t count = document.Items().size();
    return change.Kind == JournalEntryKind::Inserted ? change.Index <= count : change.Index < count;
}

// Applies one operation's changes through the document's own operations;
// false at a change that does not fit the list.
bool Apply(COrvikDoc& document, std::vector<DecodedChange>& changes) {
    for (DecodedChange& change : changes) {
        if (!Fits(document, change)) {
            return false;
        }
        if (change.Kind != JournalEntryKind::Inserted) {
            document.RemoveItem(document.Items()[change.Index].get());
        }
        if (change.Item) {
            document.InsertAt(change.Index, std::move(change.Item));
        }
    }
    return true;
}

// Applies every operation whose changes all decode and fit, up to the first
// that does not. Returns the changes applied.
std::size_t ApplyOperations(COrvikDoc& document, std::span<const JournalEntry> entries,
                            SampleArena& arena) {
    std::size_t applied = 0;
    std::vector<DecodedChange> operation;
    for (const JournalEntry& entry : entries) {
        if (entry.Kind == JournalEntryKind::Committed) {
            if (!Apply(document, operation)) {
                break;
            }
            applied += operation.size();
            operation.clear();
            document.NextSampleNumber = entry.NextSampleNumber;
            continue;
        }
        std::optional<DecodedChange> change = Decode(entry, arena);
        if (!change) {
            break;
        }
        operation.push_back(std::move(*change));
    }
    return applied;
}

// The last default-name counter the entries record, from `first` on.
std::optional<std::int32_t> LastCounter(std::span<const JournalEntry> entries) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->Kind == JournalEntryKind::Committed) {
            return entry->NextSampleNumber;
        }
    }
    return std::nullopt;
}

// What each path holds now, read once however many bases name it.
class FilesOnDisk {
  public:
    const std::optional<FileIdentity>& Identity(const std::string& path) {
        auto found = identities_.find(path);
        if (found == identities_.end()) {
            Result<FileIdentity> read = IdentifyFile(path);
            found = identities_.emplace(path, read ? std::optional(*read) : std::nullopt).first;
        }
        return found->second;
    }

  private:
    std::map<std::string, std::optional<FileIdentity>> identities_;
};

// A first-version journal's base: its file held as many items as it began after.
bool CountedBaseMatches(const JournalStart& start) {
    if (start.CollectionPath.empty() || !FileExists(start.CollectionPath)) {
        return start.BaseItemCount == 0;
    }
    const Result<FileBytes> bytes = ReadWholeFile(start.CollectionPath);
    try {
        return bytes &&
               ReadCollection(*bytes).Items.size() == static_cast<std::size_t>(start.BaseItemCount);
    } catch (const ArchiveError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool BaseMatches(const JournalContents& contents, std::size_t base, FilesOnDisk& files) {
    if (base == 0 && contents.Start->ItemCountOnly) {
        return CountedBaseMatches(*contents.Start);
    }
    const BaseList list = BaseOf(contents, base);
    if (!list.File) {
        return list.Items == 0 && (list.Path.empty() || !FileExists(list.Path));
    }
    return !list.Path.empty() && files.Identity(list.Path) == list.File;
}

}  // namespace

std::optional<std::size_t> FindJournalBase(const JournalContents& contents) {
    FilesOnDisk files;
    for (std::size_t base = contents.Bases(); base-- > 0;) {
        if (BaseMatches(contents, base, files)) {
            return base;
        }
    }
    return std::nullopt;
}

Result<RecoveredChanges> RebuildFromBase(const JournalContents& contents, std::size_t base,
                                         COrvikDoc& document) {
    if (base >= contents.Bases()) {
        return Failure{"The journal holds nothing that can be recovered.", {}};
    }
    if (Status opened = OpenBase(document, contents, base); !opened) {
        return opened.Error();
    }
    auto arena = std::make_shared<SampleArena>();
    document.AdoptArena(arena);
    const auto entries = std::span(contents.Entries).subspan(contents.FirstEntryAfter(base));
    RecoveredChanges changes;
    changes.Applied = ApplyOperations(document, entries, *arena);
    std::size_t changeEntries = 0;
    for (const JournalEntry& entry : entries) {
        changeEntries += entry.Kind != JournalEntryKind::Committed ? 1 : 0;
    }
    changes.Lost = changeEntries - changes.Applied + contents.LostEntries;
    document.SetModified(true);
    // One update: a journal listening to the document writes it all at once.
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::Reloaded});
    return changes;
}

RecoveredChanges RebuildAsNewCollection(const JournalContents& contents, COrvikDoc& document) {
    RecoveredChanges changes;
    changes.AsNewCollection = true;
    if (!contents.Start) {
        changes.Lost = contents.LostEntries;
        return changes;
    }
    auto arena = std::make_shared<SampleArena>();
    document.AdoptArena(arena);
    const JournalListing listing = ListJournal(contents, 0);
    for (const std::size_t held : listing.HeldItems) {
        std::optional<DecodedChange> item = Decode(contents.Entries[held], *arena);
        if (item && item->Item) {
            document.AppendItem(std::move(item->Item));
            ++changes.Applied;
        } else {
            ++changes.Lost;
        }
    }
    changes.Lost += contents.LostEntries;
    if (const auto counter = LastCounter(contents.Entries)) {
        document.NextSampleNumber = *counter;
    }
    document.SetModified(true);
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::Reloaded});
    return changes;
}

LeftoverJournal::LeftoverJournal(std::string path, int fd, FileBytes bytes)
    : path_(std::move(path)),
      fd_(fd),
      bytes_(std::move(bytes)),
      contents_(ReadJournal(bytes_.Span())),
      base_(FindJournalBase(contents_)),
      listing_(ListJournal(contents_, base_.value_or(0))) {}

LeftoverJournal::LeftoverJournal(LeftoverJournal&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      bytes_(std::move(other.bytes_)),
      contents_(std::move(other.contents_)),
      base_(other.base_),
      listing_(std::move(other.listing_)) {}

LeftoverJournal& LeftoverJournal::operator=(LeftoverJournal&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        bytes_ = std::move(other.bytes_);
        contents_ = std::move(other.contents_);
        base_ = other.base_;
        listing_ = std::move(other.listing_);
    }
    return *this;
}

LeftoverJournal::~LeftoverJournal() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Result<LeftoverJournal> LeftoverJournal::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Failure{SystemError("Cannot open", path), {}};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        const Failure failure{
            held ? path + " is in use by a running program" : SystemError("Cannot lock", path), {}};
        ::close(fd);
        return failure;
    }
    // Read (a large one mapped) once it is held, so that it cannot change meanwhile.
    Result<FileBytes> bytes = ReadWholeFile(path);
    if (!bytes) {
        ::close(fd);
        return bytes.Error();
    }
    return LeftoverJournal(path, fd, std::move(*bytes));
}

std::string LeftoverJournal::CollectionPath() const {
    if (!contents_.Start) {
        return {};
    }
    return base_ ? std::string(BaseOf(contents_, *base_).Path) : contents_.Start->CollectionPath;
}

std::string LeftoverJournal::CollectionName() const {
    return NameOf(CollectionPath());
}

bool LeftoverJournal::HasChanges() const {
    if (!contents_.Start) {
        return false;
    }
    return CollectionChanged() ? !listing_.HeldItems.empty()
                               : contents_.Entries.size() > contents_.FirstEntryAfter(*base_);
}

Result<RecoveredChanges> LeftoverJournal::RebuildInto(COrvikDoc& document) const {
    if (!contents_.Start) {
        return Failure{"The journal " + path_ + " holds nothing that can be recovered.", {}};
    }
    // Asked again: the file may have changed since the journal was opened.
    return RebuildFromJournal(contents_, document);
}

Result<RecoveredChanges> RebuildFromJournal(const JournalContents& contents, COrvikDoc& document) {
    if (!contents.Start) {
        return Failure{"The journal holds nothing that can be recovered.", {}};
    }
    if (const std::optional<std::size_t> base = FindJournalBase(contents)) {
        return RebuildFromBase(contents, *base, document);
    }
    return RebuildAsNewCollection(contents, document);
}

Status LeftoverJournal::Discard() {
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        return Failure{SystemError("Cannot remove", path_), {}};
    }
    return {};
}

std::vector<LeftoverJournal> FindLeftoverJournals(const std::string& folder, DiagnosticLog& log) {
    namespace fs = std::filesystem;
    std::vector<std::pair<fs::file_time_type, std::string>> paths;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        if (it->is_regular_file(statError) && it->path().extension() == kJournalExtension) {
            paths.emplace_back(it->last_write_time(statError), it->path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    std::vector<LeftoverJournal> journals;
    for (const auto& [time, path] : paths) {
        Result<LeftoverJournal> journal = LeftoverJournal::Open(path);
        if (journal) {
            journals.push_back(std::move(*journal));
        } else {
            log.Info(kLogSource, journal.Error().Message);
        }
    }
    return journals;
}

void RemoveAbandonedJournalFiles(const std::string& folder, DiagnosticLog& log) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::string suffix = std::string(kJournalExtension) + ".new";
        if (!name.starts_with("journal-") || !name.ends_with(suffix)) {
            continue;
        }
        // journal-PID-TIME-N.orj.new, made and locked by process PID.
        const std::string pid = name.substr(8, name.find('-', 8) - 8);
        if (ProcessIsAlive(pid)) {
            continue;
        }
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(it->path().c_str()) == 0) {
            log.Info(kLogSource,
                     "Removed " + it->path().string() + ", left by a program that ended");
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string DescribeRecovery(const LeftoverJournal& journal) {
    const std::string path = journal.CollectionPath();
    std::string text = journal.CollectionName();
    if (!path.empty()) {
        text += " in " + std::filesystem::path(path).parent_path().string();
    }
    const JournalListing& listing = journal.Listing();
    if (journal.CollectionChanged()) {
        return text + " has changed since; " + Counted(listing.NewTraces, "unsaved trace") +
               " open as a new collection" + LostNote(journal.Contents());
    }
    std::vector<std::string> parts;
    if (listing.NewTraces > 0) {
        parts.push_back(Counted(listing.NewTraces, "unsaved trace"));
    } else if (listing.NewItems > 0) {
        parts.push_back(Counted(listing.NewItems, "unsaved item"));
    }
    if (listing.DeletedItems > 0) {
        parts.push_back(Counted(listing.DeletedItems, "saved item") + " deleted");
    }
    if (listing.ChangedItems > 0) {
        parts.push_back(Counted(listing.ChangedItems, "saved item") + " changed");
    }
    if (listing.NewItems == 0) {
        parts.push_back("no unsaved traces");  // deletions only, say so
    }
    text += ": " + parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        text += ", " + parts[i];
    }
    return text + LostNote(journal.Contents());
}

}  // namespace orvik
