#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/diagnostic_log.h"
#include "base/failure.h"
#include "base/file_store.h"
#include "journal/journal_format.h"

namespace orvik {

class COrvikDoc;

// What a rebuild put into the collection.
struct RecoveredChanges {
    std::size_t Applied = 0;  // journalled changes
    std::size_t Lost = 0;     // changes at the journal's end that could not be used
};

// A journal that a program left behind and that no running program holds. It
// is locked while this object lives, so that no other program recovers or
// discards it meanwhile.
class LeftoverJournal {
  public:
    // Locks and reads `path`. Fails when the file cannot be read or another
    // program holds it.
    static Result<LeftoverJournal> Open(const std::string& path);

    LeftoverJournal(LeftoverJournal&& other) noexcept;
    LeftoverJournal& operator=(LeftoverJournal&& other) noexcept;
    LeftoverJournal(const LeftoverJournal&) = delete;
    LeftoverJournal& operator=(const LeftoverJournal&) = delete;
    ~LeftoverJournal();

    const std::string& Path() const { return path_; }
    const JournalContents& Contents() const { return contents_; }
    // The collection's file; empty for an untitled collection.
    std::string CollectionPath() const;
    // "LOT7.tdr", or "Untitled".
    std::string CollectionName() const;
    // Anything to recover: changes that can be applied.
    bool HasChanges() const { return !contents_.Entries.empty(); }
    // Nothing that any program could recover: emptied by a save, or cut
    // before its first change was whole. A journal this program cannot read
    // (a later version's) is not empty.
    bool NothingToRecover() const {
        return !HasChanges() && (contents_.Start.has_value() || contents_.LostEntries <= 1);
    }

    // Rebuilds the collection into `document`, a fresh one: its file as saved
    // (when it has one), then every journalled change through the document's
    // own operations, so that a journal listening to it records them anew.
    // The document is left modified. Fails, changing nothing that was open,
    // when the file cannot be read or no longer holds what the journal began
    // from.
    Result<RecoveredChanges> RebuildInto(COrvikDoc& document) const;

    // Removes the file.
    Status Discard();

  private:
    LeftoverJournal(std::string path, int fd, FileBytes bytes);

    std::string path_;
    int fd_ = -1;
    FileBytes bytes_;
    JournalContents contents_;  // borrows bytes_
};

// What LeftoverJournal::RebuildInto does, for contents read from anywhere.
Result<RecoveredChanges> RebuildFromJournal(const JournalContents& contents, COrvikDoc& document);

// The journals in `folder` that no running program holds, oldest first; each
// locked. Files that cannot be read are left out and logged.
std::vector<LeftoverJournal> FindLeftoverJournals(const std::string& folder,
                                                  DiagnosticLog& log = DiagnosticLog::Null());

// The start-up question for a journal with changes.
std::string RecoveryQuestion(const LeftoverJournal& journal);

}  // namespace orvik
