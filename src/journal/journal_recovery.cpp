#include "journal/journal_recovery.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

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

// The saved collection that the journal's changes apply to.
Status OpenBase(COrvikDoc& document, const JournalStart& start) {
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
        // Saved since the journal began (by this program just before it
        // ended, or by another): its changes may be in the file already.
        return Failure{
            "The collection " + start.CollectionPath + " has changed since its journal began.",
            "it holds " + std::to_string(document.Items().size()) +
                " items, the journal began after " + std::to_string(start.BaseItemCount)};
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

}  // namespace

LeftoverJournal::LeftoverJournal(std::string path, int fd, FileBytes bytes)
    : path_(std::move(path)),
      fd_(fd),
      bytes_(std::move(bytes)),
      contents_(ReadJournal(bytes_.Span())) {}

LeftoverJournal::LeftoverJournal(LeftoverJournal&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      bytes_(std::move(other.bytes_)),
      contents_(std::move(other.contents_)) {}

LeftoverJournal& LeftoverJournal::operator=(LeftoverJournal&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        bytes_ = std::move(other.bytes_);
        contents_ = std::move(other.contents_);
    }
    return *this;
}

LeftoverJournal::~LeftoverJournal() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Result<LeftoverJournal> LeftoverJournal::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
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
    return contents_.Start ? contents_.Start->CollectionPath : std::string();
}

std::string LeftoverJournal::CollectionName() const {
    const std::string path = CollectionPath();
    return path.empty() ? std::string("Untitled") : std::filesystem::path(path).filename().string();
}

Result<RecoveredChanges> LeftoverJournal::RebuildInto(COrvikDoc& document) const {
    if (!contents_.Start) {
        return Failure{"The journal " + path_ + " holds nothing that can be recovered.", {}};
    }
    return RebuildFromJournal(contents_, document);
}

Result<RecoveredChanges> RebuildFromJournal(const JournalContents& contents, COrvikDoc& document) {
    if (!contents.Start) {
        return Failure{"The journal holds nothing that can be recovered.", {}};
    }
    if (Status base = OpenBase(document, *contents.Start); !base) {
        return base.Error();
    }
    auto arena = std::make_shared<SampleArena>();
    document.AdoptArena(arena);
    RecoveredChanges changes;
    changes.Applied = ApplyOperations(document, contents.Entries, *arena);
    std::size_t changeEntries = 0;
    for (const JournalEntry& entry : contents.Entries) {
        changeEntries += entry.Kind != JournalEntryKind::Committed ? 1 : 0;
    }
    changes.Lost = changeEntries - changes.Applied + contents.LostEntries;
    document.SetModified(true);
    // One update: a journal listening to the document writes it all at once.
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::Reloaded});
    return changes;
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

std::string RecoveryQuestion(const LeftoverJournal& journal) {
    return "Orvik closed unexpectedly. Recover " +
           std::to_string(journal.Contents().UnsavedTraces) + " unsaved traces of " +
           journal.CollectionName() + "?";
}

}  // namespace orvik
