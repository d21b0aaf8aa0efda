#include "cli/recover_command.h"

#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/json_writer.h"
#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"

namespace orvik::cli {
namespace {

void ListJournals() {
    JsonWriter json;
    json.BeginArray();
    for (const LeftoverJournal& journal : FindLeftoverJournals(DefaultRecoveryFolder())) {
        const JournalListing& listing = journal.Listing();
        json.BeginObject().Key("journal").PathValue(journal.Path()).Key("collection");
        if (journal.CollectionPath().empty()) {
            json.Null();
        } else {
            json.PathValue(journal.CollectionPath());
        }
        // A collection that changed since gives the items the journal holds.
        const std::size_t items =
            journal.CollectionChanged() ? listing.HeldItems.size() : listing.NewItems;
        json.Field("items", static_cast<std::int64_t>(items))
            .Field("traces", static_cast<std::int64_t>(listing.NewTraces))
            .Field("deleted", static_cast<std::int64_t>(listing.DeletedItems))
            .Field("collection_changed", journal.CollectionChanged())
            .Field("complete", journal.Contents().Complete())
            .EndObject();
    }
    json.EndArray();
    std::cout << json.Text() << '\n';
}

void RecoverJournal(const std::string& path, const std::string& out) {
    std::error_code error;
    if (std::filesystem::exists(out, error) || error) {
        throw CommandFailure("--out " + out + " exists; recovery writes a new file");
    }
    Result<LeftoverJournal> journal = LeftoverJournal::Open(path);
    if (!journal) {
        throw CommandFailure(journal.Error().Message);
    }
    if (journal->NothingToRecover()) {
        throw CommandFailure(path + " holds no change that is not saved");
    }
    COrvikDoc document;
    const Result<RecoveredChanges> changes = journal->RebuildInto(document);
    if (!changes) {
        throw CommandFailure(changes.Error().Message + " " + changes.Error().Detail);
    }
    if (const Status saved = document.SaveAs(out); !saved) {
        throw CommandFailure(saved.Error().Message + " " + saved.Error().Detail);
    }
    if (changes->AsNewCollection) {
        std::cerr << "orvik-cli recover: " << journal->CollectionPath()
                  << " has changed since its journal began; the " << changes->Applied
                  << " items the journal holds were written as a new collection\n";
    }
    if (changes->Lost != 0) {
        std::cerr << "orvik-cli recover: " << changes->Lost << " entries at the end of " << path
                  << " could not be recovered\n";
    }
    // The file is on the disk for good: the journal's work is done, and the
    // program must not offer the same changes again.
    if (const Status retired = journal->Discard(); !retired) {
        std::cerr << "orvik-cli recover: " << retired.Error().Message << "\n";
    }
}

}  // namespace

int RunRecover(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    std::optional<std::string> journal;
    std::optional<std::string> out;
    bool list = false;
    while (!reader.Done()) {
        if (reader.Flag("--list")) {
            list = true;
        } else if (reader.Option("--out")) {
            out = reader.Value();
        } else if (!reader.Peek().starts_with("--") && !journal) {
            journal = reader.Word();
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (list == journal.has_value() || list == out.has_value()) {
        throw UsageError("give --list, or a JOURNAL and --out FILE.tdr");
    }
    if (list) {
        ListJournals();
    } else {
        RecoverJournal(*journal, *out);
    }
    return 0;
}

}  // namespace orvik::cli
