#pragma once

#include <cstddef>
#include <optional>
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
    std::size_t Applied = 0;  // journalled changes, or items of a new collection
    std::size_t Lost = 0;     // changes at the journal's end that could not be used
    // The collection's file had changed: what the journal holds became a new
    // collection instead.
    bool AsNewCollection = false;
};

// A journal that a program left behind and that no running program holds. It
// is locked while this object lives, so that no other program recovers or
// discards it meanwhile.
class LeftoverJournal {
  public:
    // Locks and reads `path` (opened for reading only, so that a journal on a
    // read-only disk is recovered too), and finds which of its lists the
    // collection's file holds now. Fails when the file cannot be read or
    // another program holds it.
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
    // The collection's file holds neither the list the journal began from
    // nor one that a save of it wrote, so its changes cannot be applied to
    // it; the items the journal holds are recovered as a new collection.
    bool CollectionChanged() const { return contents_.Start.has_value() && !base_.has_value(); }
    // What recovery would bring back: the changes since the file was last
    // saved, or, when the collection changed, the items the journal holds.
    const JournalListing& Listing() const { return listing_; }
    // Anything to recover.
    bool HasChanges() const;
    // Nothing that any program could recover: emptied by a save, its changes
    // all saved, or cut before its first change was whole. A journal this
    // program cannot read (a later version's) is not empty.
    bool NothingToRecover() const {
        return !HasChanges() && (contents_.Start.has_value() || contents_.LostEntries <= 1);
    }

    // Rebuilds into `document`, a fresh one: the collection's file as saved
    // (when it has one), then every journalled change since, through the
    // document's own operations, so that a journal listening to it records
    // them anew. When the file no longer holds what the changes apply to, the
    // items the journal holds become a new, untitled collection instead. The
    // document is left modified. Fails, changing nothing that was open, when
    // the file cannot be read.
    Result<RecoveredChanges> RebuildInto(COrvikDoc& document) const;

    // Removes the file.
    Status Discard();

  private:
    LeftoverJournal(std::string path, int fd, FileBytes bytes);

    std::string path_;
    int fd_ = -1;
    FileBytes bytes_;
    JournalContents contents_;  // borrows bytes_
    std::optional<std::size_t> base_;
    JournalListing listing_;
};

// Which of the journal's lists (0 the start's, then one per save, as in
// JournalContents) the collection's file holds now, the latest first; none
// when it holds none of them.
std::optional<std::size_t> FindJournalBase(const JournalContents& contents);

// The collection's file as base `base` says it was, then the changes after
// it, into `document`, a fresh one. Fails, changing nothing, when the file
// cannot be read or does not hold that list.
Result<RecoveredChanges> RebuildFromBase(const JournalContents& contents, std::size_t base,
                                         COrvikDoc& document);

// The items the journal holds (recorded, or changed in place) that are in the
// list at its end, in list order, as a new untitled collection.
RecoveredChanges RebuildAsNewCollection(const JournalContents& contents, COrvikDoc& document);

// What LeftoverJournal::RebuildInto does, for contents read from anywhere:
// over the list the collection's file holds now, else as a new collection.
Result<RecoveredChanges> RebuildFromJournal(const JournalContents& contents, COrvikDoc& document);

// The journals in `folder` that no running program holds, oldest first; each
// locked. Files that cannot be read are left out and logged.
std::vector<LeftoverJournal> FindLeftoverJournals(const std::string& folder,
                                                  DiagnosticLog& log = DiagnosticLog::Null());

// Removes what programs that died while creating a journal left in `folder`.
void RemoveAbandonedJournalFiles(const std::string& folder,
                                 DiagnosticLog& log = DiagnosticLog::Null());

// One line for the start-up question: the collection, its folder, and what
// recovery would bring back ("LOT7.tdr in /data/lots: 1 unsaved trace").
std::string DescribeRecovery(const LeftoverJournal& journal);

}  // namespace orvik
