#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/diagnostic_log.h"
#include "base/failure.h"
#include "collection/orvik_doc.h"
#include "journal/journal_format.h"

namespace orvik {

// The recovery folder: $XDG_DATA_HOME/orvik/recovery, else
// ~/.local/share/orvik/recovery.
std::string DefaultRecoveryFolder();

// Journal files end in this.
inline constexpr const char* kJournalExtension = ".orj";

// Keeps one collection's unsaved changes on disk. The changes of one
// operation are gathered and, once the document says they are complete,
// appended to the journal file in one write and flushed to the disk before
// any window draws them, so that whatever the operator has seen in the tree
// survives a crash or a power cut. The file is created at the first change,
// exclusively, and stays locked while the journal lives. The journal must
// not outlive its document.
//
// It records which file the collection's list came from, and, before a save
// puts its new file in place, what that file holds; so whenever the program
// ends, recovery can tell which file its changes belong to. A save or an open
// then empties it; Discard removes it.
//
// A write that fails keeps everything not yet on the disk in memory, in
// order, and says so (the diagnostic log and the state listener); each later
// change, and Retry, writes it all again, until a write works or a save or an
// open makes it needless.
class RecoveryJournal : public ItemListListener {
  public:
    RecoveryJournal(std::string folder, COrvikDoc& document,
                    DiagnosticLog& log = DiagnosticLog::Null());
    // Writes what is gathered and stops listening. An empty file is removed;
    // one with changes stays for the next start to recover.
    ~RecoveryJournal() override;
    RecoveryJournal(const RecoveryJournal&) = delete;
    RecoveryJournal& operator=(const RecoveryJournal&) = delete;

    // The operator chose not to keep the changes: the file goes.
    void Discard();

    const std::string& Folder() const { return folder_; }
    // The file, once the first change created it.
    const std::string& FilePath() const { return path_; }
    // Changes written since the last save.
    std::size_t EntriesWritten() const { return entries_; }
    // Bytes in the file.
    std::uint64_t Size() const { return end_; }
    // False while changes the operator has seen are not on the disk.
    bool Writing() const { return pending_.empty(); }
    // Why the last write failed ("No space left on device"), while not writing.
    const std::string& Problem() const { return problem_; }

    // Writes what a failed write left in memory; true when nothing is left.
    bool Retry();

    enum class State {
        Failed,   // a write failed: changes the operator has seen are in memory only
        Resumed,  // a write worked again: everything is on the disk
        Cleared,  // a save or an open made what was left in memory needless
    };
    // Told when the journal stops or starts protecting the collection again.
    void SetStateListener(std::function<void(State)> listener) {
        stateListener_ = std::move(listener);
    }

    void ItemInserted(const COrvikDoc& document, std::size_t index) override;
    void ItemRemoved(const COrvikDoc& document, std::size_t index) override;
    void ItemChanged(const COrvikDoc& document, std::size_t index) override;
    void ChangesComplete(const COrvikDoc& document) override;
    void MatchesFile(const COrvikDoc& document) override;
    void Saving(const COrvikDoc& document, const std::string& path,
                const FileIdentity& file) override;

  private:
    // Gathers one change; the first after a save starts the journal.
    void Gather(std::int32_t baseItemCount, JournalEntryKind kind, std::int32_t index,
                CollectionItem* item);
    // Appends what is pending to the file; false when it failed.
    bool WritePending();
    Status CreateFile();
    Status Append(std::span<const std::uint8_t> frames);
    void Close();
    void Tell(State state);

    std::string folder_;
    COrvikDoc& document_;
    DiagnosticLog& log_;
    std::string path_;
    int fd_ = -1;
    std::uint64_t end_ = 0;  // bytes of whole frames in the file
    std::size_t entries_ = 0;
    std::vector<std::uint8_t> gathered_;  // frames of the operation under way
    std::size_t gatheredEntries_ = 0;
    std::vector<std::uint8_t> pending_;  // whole frames not yet on the disk
    std::size_t pendingEntries_ = 0;
    bool started_ = false;  // the file (or what is gathered or pending) holds the start
    std::string problem_;
    std::function<void(State)> stateListener_;
};

}  // namespace orvik
