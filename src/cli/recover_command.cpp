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
        const JournalContents& contents = journal.Contents();
        json.BeginObject().Field("journal", journal.Path()).Key("collection");
        if (journal.CollectionPath().empty()) {
            json.Null();
        } else {
            json.Value(journal.CollectionPath());
        }
        json.Field("items", static_cast<std::int64_t>(contents.UnsavedItems))
            .Field("traces", static_cast<std::int64_t>(contents.UnsavedTraces))
            .Field("complete", contents.Complete())
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
    COrvikDoc document;
    const Result<RecoveredChanges> changes = journal->RebuildInto(document);
    if (!changes) {
        throw CommandFailure(changes.Error().Message + " " + changes.Error().Detail);
    }
    if (const Status saved = document.SaveAs(out); !saved) {
        throw CommandFailure(saved.Error().Message + " " + saved.Error().Detail);
    }
    if (changes->Lost != 0) {
        std::cerr << "orvik-cli recover: " << changes->Lost << " entries at the end of " << path
                  << " could not be recovered\n";
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
