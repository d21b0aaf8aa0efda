#pragma once

#include <cstdint>
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
// A save or an open empties it; Discard removes it. A journal that cannot be
// written says so in the diagnostic log and stops until the next save, so
// that it never holds a change without the ones before it.
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

    // The file, once the first change created it.
    const std::string& FilePath() const { return path_; }
    // Changes written since the last save.
    std::size_t EntriesWritten() const { return entries_; }
    // Bytes in the file.
    std::uint64_t Size() const { return end_; }
    // False after a write failed, until the next save or open.
    bool Writing() const { return !failed_; }

    void ItemInserted(const COrvikDoc& document, std::size_t index) override;
    void ItemRemoved(const COrvikDoc& document, std::size_t index) override;
    void ItemChanged(const COrvikDoc& document, std::size_t index) override;
    void ChangesComplete(const COrvikDoc& document) override;
    void MatchesFile(const COrvikDoc& document) override;

  private:
    // Gathers one change; the first after a save starts the journal.
    void Gather(std::int32_t baseItemCount, JournalEntryKind kind, std::int32_t index,
                CollectionItem* item);
    Status CreateFile();
    Status Append(std::span<const std::uint8_t> frames);
    void Close();

    std::string folder_;
    COrvikDoc& document_;
    DiagnosticLog& log_;
    std::string path_;
    int fd_ = -1;
    std::uint64_t end_ = 0;  // bytes of whole frames in the file
    std::size_t entries_ = 0;
    std::vector<std::uint8_t> gathered_;  // frames of the operation under way
    std::size_t gatheredEntries_ = 0;
    bool started_ = false;  // the file (or what is gathered) holds the start
    bool failed_ = false;
};

}  // namespace orvik
