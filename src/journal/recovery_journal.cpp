#include "journal/recovery_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "journal/journal_format.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "journal";

std::string SystemError(const std::string& action, const std::string& path) {
    return action + " " + path + ": " + std::strerror(errno);
}

// A name no other journal has had: the process, the time and a counter.
std::string NewJournalName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return "journal-" + std::to_string(::getpid()) + "-" +
           std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) +
           "-" + std::to_string(counter++) + kJournalExtension;
}

// The new file's name must reach the disk too, or a power cut could lose the
// whole journal.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
    if (fd_ >= 0 && entries_ == 0) {
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

void RecoveryJournal::Discard() {
    if (fd_ >= 0) {
        if (::unlink(path_.c_str()) != 0) {
            log_.Warning(kLogSource, SystemError("Cannot remove the journal", path_));
        }
        Close();
    }
    path_.clear();
    end_ = 0;
    entries_ = 0;
    gathered_.clear();
    gatheredEntries_ = 0;
    started_ = false;
}

Status RecoveryJournal::CreateFile() {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) {
        return Failure{"Cannot create " + folder_ + ": " + error.message(), {}};
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
            return Failure{SystemError("Cannot create", temporary), {}};
        }
    }
    if (fd_ < 0) {
        return Failure{"Cannot create a journal in " + folder_ + ": every name is taken", {}};
    }
    // A link, unlike a rename, never replaces a journal of the same name.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::link(temporary.c_str(), path_.c_str()) != 0) {
        const Failure failure{SystemError("Cannot set up", path_), {}};
        ::unlink(temporary.c_str());
        Close();
        return failure;
    }
    ::unlink(temporary.c_str());
    SyncFolder(folder_);
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
            return Failure{SystemError("Cannot write", path_), {}};
        }
        done += static_cast<std::size_t>(written);
    }
    if (::fdatasync(fd_) != 0) {
        return Failure{SystemError("Cannot flush", path_), {}};
    }
    end_ += frame.size();
    return {};
}

void RecoveryJournal::Gather(std::int32_t baseItemCount, JournalEntryKind kind, std::int32_t index,
                             CollectionItem* item) {
    if (failed_) {
        return;
    }
    if (!started_) {
        EncodeJournalStart({AbsolutePath(document_.Path()), baseItemCount}, gathered_);
        started_ = true;
    }
    EncodeJournalEntry(kind, document_.NextSampleNumber, index, item, gathered_);
    ++gatheredEntries_;
}

void RecoveryJournal::ChangesComplete(const COrvikDoc& document) {
    if (failed_ || gatheredEntries_ == 0) {
        return;
    }
    EncodeJournalEntry(JournalEntryKind::Committed, document.NextSampleNumber, 0, nullptr,
                       gathered_);
    Status written = fd_ >= 0 ? Status{} : CreateFile();
    if (written) {
        written = Append(gathered_);
    }
    const std::size_t entries = gatheredEntries_;
    gathered_.clear();
    gatheredEntries_ = 0;
    if (!written) {
        // A write cut short ends the journal anyway; nothing may follow a gap.
        if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(end_)) == 0) {
            ::fdatasync(fd_);
        }
        failed_ = true;
        log_.Error(kLogSource, "Recovery journal of " + document.Title() +
                                   " stopped until the next save: " + written.Error().Message);
        return;
    }
    entries_ += entries;
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

void RecoveryJournal::MatchesFile(const COrvikDoc& document) {
    started_ = false;
    entries_ = 0;
    failed_ = false;
    gathered_.clear();
    gatheredEntries_ = 0;
    if (fd_ < 0 || end_ == 0) {
        return;
    }
    if (::ftruncate(fd_, 0) != 0 || ::fdatasync(fd_) != 0) {
        // Its changes are in the file now; recovering them again would
        // double them, which the start's item count prevents. Nothing more
        // goes after them.
        failed_ = true;
        log_.Error(kLogSource,
                   SystemError("Cannot empty the journal", path_) + " of " + document.Title());
        return;
    }
    end_ = 0;
}

}  // namespace orvik
