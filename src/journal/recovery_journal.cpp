#include "journal/recovery_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/file_store.h"
#include "journal/journal_format.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "journal";

// A failure whose detail is the system's reason alone, for the operator.
Failure SystemError(const std::string& action, const std::string& path) {
    const std::string reason = std::strerror(errno);
    return {action + " " + path + ": " + reason, reason};
}

// A name no other journal has had: the process, the time and a counter.
std::string NewJournalName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return "journal-" + std::to_string(::getpid()) + "-" +
           std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) +
           "-" + std::to_string(counter++) + kJournalExtension;
}

// Creates the folder and those above it that are missing, each flushed into
// the folder that holds it, so that a power cut cannot take the path to a
// journal away.
Status MakeFolders(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path at(folder); !at.empty() && !fs::exists(at, error); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) {
            break;
        }
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        if (::mkdir(at->c_str(), 0777) != 0 && errno != EEXIST) {
            return SystemError("Cannot create", at->string());
        }
        const fs::path parent = at->parent_path();
        if (Status synced = SyncFolder(parent.empty() ? "." : parent.string()); !synced) {
            return synced;
        }
    }
    if (!fs::is_directory(folder, error)) {
        return Failure{"Cannot create " + folder + ": a file of that name is in the way",
                       "a file of that name is in the way"};
    }
    return {};
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

std::string DefaultRecoveryFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data != nullptr && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : ".") + "/.local/share";
    }
    return base + "/orvik/recovery";
}

RecoveryJournal::RecoveryJournal(std::string folder, COrvikDoc& document, DiagnosticLog& log)
    : folder_(std::move(folder)), document_(document), log_(log) {
    document_.SetItemListener(this);
}

RecoveryJournal::~RecoveryJournal() {
    ChangesComplete(document_);
    document_.SetItemListener(nullptr);
    if (fd_ >= 0 && entries_ == 0 && pending_.empty()) {
        ::unlink(path_.c_str());  // nothing in it to recover
    }
    Close();
}

void RecoveryJournal::Close() {
    if (fd_ >= 0) {
        ::close(fd_);  // and with it the lock
        fd_ = -1;
    }
}

void RecoveryJournal::Tell(State state) {
    if (stateListener_) {
        stateListener_(state);
    }
}

void RecoveryJournal::Discard() {
    if (fd_ >= 0) {
        if (::unlink(path_.c_str()) != 0) {
            log_.Warning(kLogSource, SystemError("Cannot remove the journal", path_).Message);
        }
        Close();
    }
    path_.clear();
    end_ = 0;
    entries_ = 0;
    gathered_.clear();
    gatheredEntries_ = 0;
    started_ = false;
    const bool failing = !pending_.empty();
    pending_.clear();
    pendingEntries_ = 0;
    problem_.clear();
    if (failing) {
        Tell(State::Cleared);
    }
}

Status RecoveryJournal::CreateFile() {
    if (Status made = MakeFolders(folder_); !made) {
        return made;
    }
    // Made under a name that no search for journals looks at, locked, and
    // only then given its journal name: no other program can take it for
    // one left behind.
    std::string temporary;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        path_ = folder_ + "/" + NewJournalName();
        temporary = path_ + ".new";
        fd_ = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST) {
            path_.clear();
            return SystemError("Cannot create", temporary);
        }
    }
    if (fd_ < 0) {
        path_.clear();
        return Failure{"Cannot create a journal in " + folder_ + ": every name is taken",
                       "every name is taken"};
    }
    // A link, unlike a rename, never replaces a journal of the same name.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::link(temporary.c_str(), path_.c_str()) != 0) {
        const Failure failure = SystemError("Cannot set up", path_);
        ::unlink(temporary.c_str());
        Close();
        path_.clear();
        return failure;
    }
    ::unlink(temporary.c_str());
    // The new file's name must reach the disk too, or a power cut could lose
    // the whole journal.
    if (Status synced = SyncFolder(folder_); !synced) {
        return synced;
    }
    log_.Info(kLogSource, "Journalling " + document_.Title() + " in " + path_);
    return {};
}

Status RecoveryJournal::Append(std::span<const std::uint8_t> frame) {
    std::size_t done = 0;
    while (done < frame.size()) {
        const ssize_t written = ::pwrite(fd_, frame.data() + done, frame.size() - done,
                                         static_cast<off_t>(end_ + done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return SystemError("Cannot write", path_);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::fdatasync(fd_) != 0) {
        return SystemError("Cannot flush", path_);
    }
    end_ += frame.size();
    return {};
}

bool RecoveryJournal::WritePending() {
    if (pending_.empty()) {
        return true;
    }
    const bool wasFailing = !problem_.empty();
    Status written = fd_ >= 0 ? Status{} : CreateFile();
    if (written) {
        written = Append(pending_);
    }
    if (!written) {
        // A write cut short leaves part of a frame; the next attempt writes
        // over it, and nothing may follow a gap meanwhile.
        if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(end_)) == 0) {
            ::fdatasync(fd_);
        }
        problem_ = written.Error().Detail;
        if (!wasFailing) {
            log_.Error(kLogSource, "Recovery journal of " + document_.Title() +
                                       " cannot be written; its changes are kept in memory "
                                       "until it can: " +
                                       written.Error().Message);
            Tell(State::Failed);
        }
        return false;
    }
    entries_ += pendingEntries_;
    pending_.clear();
    pendingEntries_ = 0;
    if (wasFailing) {
        problem_.clear();
        log_.Info(kLogSource,
                  "Recovery journal of " + document_.Title() + " written again in " + path_);
        Tell(State::Resumed);
    }
    return true;
}

bool RecoveryJournal::Retry() {
    return WritePending();
}

void RecoveryJournal::Gather(std::int32_t baseItemCount, JournalEntryKind kind, std::int32_t index,
                             CollectionItem* item) {
    if (!started_) {
        EncodeJournalStart(
            {AbsolutePath(document_.Path()), baseItemCount, document_.SavedFile(), false},
            gathered_);
        started_ = true;
    }
    EncodeJournalEntry(kind, document_.NextSampleNumber, index, item, gathered_);
    ++gatheredEntries_;
}

void RecoveryJournal::ChangesComplete(const COrvikDoc& document) {
    if (gatheredEntries_ == 0) {
        return;
    }
    EncodeJournalEntry(JournalEntryKind::Committed, document.NextSampleNumber, 0, nullptr,
                       gathered_);
    pending_.insert(pending_.end(), gathered_.begin(), gathered_.end());
    pendingEntries_ += gatheredEntries_;
    gathered_.clear();
    gatheredEntries_ = 0;
    WritePending();
}

void RecoveryJournal::ItemInserted(const COrvikDoc& document, std::size_t index) {
    const auto count = static_cast<std::int32_t>(document.Items().size());
    Gather(count - 1, JournalEntryKind::Inserted, static_cast<std::int32_t>(index),
           document.Items()[index].get());
}

void RecoveryJournal::ItemRemoved(const COrvikDoc& document, std::size_t index) {
    const auto count = static_cast<std::int32_t>(document.Items().size());
    Gather(count + 1, JournalEntryKind::Removed, static_cast<std::int32_t>(index), nullptr);
}

void RecoveryJournal::ItemChanged(const COrvikDoc& document, std::size_t index) {
    const auto count = static_cast<std::int32_t>(document.Items().size());
    Gather(count, JournalEntryKind::Changed, static_cast<std::int32_t>(index),
           document.Items()[index].get());
}

void RecoveryJournal::Saving(const COrvikDoc& document, const std::string& path,
                             const FileIdentity& file) {
    ChangesComplete(document);
    if (!started_) {
        return;  // nothing journalled since the list last matched a file
    }
    // Whatever happens to the save from here, recovery tells by the file on
    // the disk whether these changes are in it.
    const JournalSave save{AbsolutePath(path), static_cast<std::int32_t>(document.Items().size()),
                           file, 0};
    EncodeJournalSave(save, document.NextSampleNumber, pending_);
    WritePending();
}

void RecoveryJournal::MatchesFile(const COrvikDoc&) {
    const bool failing = !pending_.empty() || !problem_.empty();
    started_ = false;
    entries_ = 0;
    gathered_.clear();
    gatheredEntries_ = 0;
    pending_.clear();
    pendingEntries_ = 0;
    problem_.clear();
    if (fd_ >= 0 && end_ > 0) {
        if (::ftruncate(fd_, 0) != 0 || ::fdatasync(fd_) != 0) {
            // What it holds is in the file now, and its last entry says so
            // when it could be written. The next change begins a new journal.
            log_.Warning(kLogSource, SystemError("Cannot empty the journal", path_).Message);
            ::unlink(path_.c_str());
            Close();
            path_.clear();
        }
        end_ = 0;
    }
    if (failing) {
        Tell(State::Cleared);
    }
}

}  // namespace orvik
