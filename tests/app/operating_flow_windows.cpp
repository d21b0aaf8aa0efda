// The operator's windows and dialogs, the kill, and what must hold after
// every command.
#include <algorithm>
#include <set>

#include "base/archive.h"
#include "criteria/criteria_manager.h"
#include "journal/journal_format.h"
#include "journal/journal_recovery.h"
#include "operating_flow.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

// Each item as the collection's file stores it.
std::vector<std::vector<std::uint8_t>> StoredItems(const COrvikDoc& document) {
    std::vector<std::vector<std::uint8_t>> items;
    for (const auto& item : document.Items()) {
        Archive archive = Archive::ForStoring();
        WriteCollectionItem(archive, *item);
        items.push_back(archive.TakeBytes());
    }
    return items;
}

void Describe(const TestTreeNode& node, std::string& shape) {
    shape += '(' + std::to_string(static_cast<int>(node.NodeKind)) + node.Text;
    for (const auto& child : node.Children) {
        Describe(*child, shape);
    }
    shape += ')';
}

std::string Shape(const TestTree& tree) {
    std::string shape;
    for (const auto& root : tree.Roots()) {
        Describe(*root, shape);
    }
    return shape;
}

// What a start after a crash would rebuild for the window: its file as last
// saved, then every change its journal holds.
std::unique_ptr<COrvikDoc> Recovered(const CollectionWindow& window) {
    auto recovered = std::make_unique<COrvikDoc>();
    const std::string& journal = window.journal->FilePath();
    if (!journal.empty() && std::filesystem::exists(journal)) {
        const std::vector<std::uint8_t> bytes = ReadFile(journal);
        const JournalContents contents = ReadJournal(bytes);
        Expect(contents.LostEntries == 0, "the journal holds damaged or unfinished entries");
        if (!contents.Entries.empty()) {
            const auto rebuilt = RebuildFromJournal(contents, *recovered);
            Expect(rebuilt && rebuilt->Lost == 0, "the journal cannot be recovered");
            return recovered;
        }
    }
    if (!window.document->Path().empty()) {
        Expect(static_cast<bool>(recovered->Open(window.document->Path())),
               "the saved collection does not open");
    }
    return recovered;
}

}  // namespace

void OperatingFlow::DialogStepInManager(CriteriaManagerModel& manager, const DialogStep& step) {
    const auto entries = static_cast<int>(manager.Entries().size());
    Criterion edited;
    switch (step.kind) {
        case DialogStep::Kind::Select:
            manager.SelectIndex(entries == 0 ? -1 : step.choice % entries);
            break;
        case DialogStep::Kind::Create:
            if (ApplyCriterionFields(EditorFields(step.choice), edited)) {
                manager.AddCreated(edited);
            }
            break;
        case DialogStep::Kind::Edit:
            if (const Criterion* selected = manager.SelectedCriterion()) {
                edited = *selected;
                if (ApplyCriterionFields(EditorFields(step.choice), edited)) {
                    manager.ApplyEdit(edited);
                }
            }
            break;
        case DialogStep::Kind::Delete:
            manager.DeleteSelected();
            break;
        case DialogStep::Kind::Pedal1:
        case DialogStep::Kind::Pedal2:
            Press(step.kind == DialogStep::Kind::Pedal1 ? 1 : 2);
            break;
        default:
            break;
    }
}

void OperatingFlow::CriteriaManager(bool stopScript, const std::vector<DialogStep>& steps) {
    Answer(true, true, stopScript);
    const bool running = program_->ActiveDocument()->ActiveScript != nullptr;
    if (!program_->station.ScriptGuard()) {
        Expect(running && !stopScript, "the Criteria Editor command was abandoned");
        return;
    }
    if (running) {
        ActiveLedger().run = {};
    }
    program_->station.StopLiveMode();
    std::optional<std::int32_t> closeId;
    {
        const ModalWindow window(*program_);
        CriteriaManagerModel manager(program_->library);
        for (const DialogStep& step : steps) {
            DialogStepInManager(manager, step);
            CheckSelector();
        }
        closeId = manager.CloseId();
    }
    // Close, Escape and the close box all end here.
    (void)AfterCriteriaManagerClosed(
        program_->library, program_->selector, closeId,
        [this] { program_->station.ApplySelectedCriterion(); }, program_->prompts,
        program_->LibraryPath());
}

void OperatingFlow::OtherModal(Modal modal, bool stopScript, int pedals) {
    Answer(true, true, stopScript);
    const bool running = program_->ActiveDocument()->ActiveScript != nullptr;
    if (modal == Modal::Calibration) {
        if (!program_->station.ScriptGuard()) {
            return;
        }
        if (running) {
            ActiveLedger().run = {};
        }
    }
    program_->station.StopLiveMode();
    const ModalWindow window(*program_);
    for (int input : {1, 2}) {
        if ((pedals & input) != 0) {
            Press(input);
        }
    }
}

void OperatingFlow::Activate(int window) {
    program_->active = static_cast<std::size_t>(window) % program_->windows.size();
    // As the window area tells the station when another window comes forward.
    program_->station.CollectionActivated(*program_->ActiveDocument());
    program_->DeliverPosted();
}

void OperatingFlow::NewWindow() {
    program_->AddWindow(std::make_unique<COrvikDoc>());
    windows_.emplace_back();
    Activate(static_cast<int>(program_->windows.size() - 1));
}

void OperatingFlow::CloseWindow(bool save) {
    if (save) {
        Save();
    }
    const std::size_t index = program_->active;
    program_->CloseWindow(index, !save);
    windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(index));
    Activate(static_cast<int>(program_->windows.size() - 1));
}

void OperatingFlow::Save() {
    COrvikDoc& document = *program_->ActiveDocument();
    const std::string path = document.Path().empty()
                                 ? (folder_ / ("c" + std::to_string(++files_) + ".tdr")).string()
                                 : document.Path();
    Expect(static_cast<bool>(document.SaveAs(path)), "Save failed");
}

void OperatingFlow::Reopen() {
    Save();
    const std::string path = program_->ActiveDocument()->Path();
    WindowLedger ledger = std::move(ActiveLedger());
    ledger.run = {};
    ledger.measurement.reset();
    windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(program_->active));
    program_->CloseWindow(program_->active, false);
    auto document = std::make_unique<COrvikDoc>();
    Expect(static_cast<bool>(document->Open(path)), "a saved collection did not open");
    program_->AddWindow(std::move(document));
    windows_.push_back(std::move(ledger));
    Activate(static_cast<int>(program_->windows.size() - 1));
}

void OperatingFlow::Kill() {
    // What the disk holds at the moment of the kill: the journals as they are
    // (the program has no chance to close them), the files as last saved.
    struct Left {
        std::string journal;
        std::vector<std::uint8_t> bytes;
        std::string file;
    };
    std::vector<Left> left;
    for (const CollectionWindow& window : program_->windows) {
        Left each{window.journal->FilePath(), {}, window.document->Path()};
        if (!each.journal.empty() && std::filesystem::exists(each.journal)) {
            each.bytes = ReadFile(each.journal);
        } else {
            each.journal.clear();
        }
        left.push_back(std::move(each));
    }
    program_.reset();
    for (const Left& each : left) {
        if (!each.journal.empty()) {
            WriteFile(each.journal, each.bytes);
        }
    }
    // The next start recovers each collection, or opens its file again.
    Start();
    for (const Left& each : left) {
        auto document = std::make_unique<COrvikDoc>();
        if (!each.file.empty() && each.journal.empty()) {
            Expect(static_cast<bool>(document->Open(each.file)), "a saved collection did not open");
        }
        CollectionWindow& window = program_->AddWindow(std::move(document));
        if (each.journal.empty()) {
            continue;
        }
        auto journal = LeftoverJournal::Open(each.journal);
        Expect(static_cast<bool>(journal), "a journal left behind cannot be opened");
        if (journal->HasChanges()) {
            Expect(static_cast<bool>(journal->RebuildInto(*window.document)),
                   "a journal left behind cannot be recovered");
        } else if (!each.file.empty()) {
            Expect(static_cast<bool>(window.document->Open(each.file)),
                   "a saved collection did not open");
            window.document->UpdateAllViews(DocumentChange{DocumentChange::Kind::Reloaded});
        }
        (void)journal->Discard();
    }
    for (WindowLedger& ledger : windows_) {
        ledger.run = {};
        ledger.measurement.reset();
    }
    Activate(static_cast<int>(program_->windows.size() - 1));
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        CheckItems(i);
    }
}

void OperatingFlow::CheckSelector() {
    const auto& criteria = program_->library.Criteria;
    const auto live = [&](const Criterion* criterion) {
        return criterion == nullptr ||
               std::any_of(criteria.begin(), criteria.end(),
                           [&](const auto& owned) { return owned.get() == criterion; });
    };
    Expect(live(program_->selector.SelectedCriterion()),
           "the toolbar's criterion is one the library has destroyed");
    for (const auto& entry : program_->selector.Entries()) {
        Expect(live(entry.Item), "the toolbar lists a criterion the library has destroyed");
    }
}

void OperatingFlow::CheckRun(std::size_t index) {
    const COrvikDoc& document = *program_->windows[index].document;
    const AnnouncedRun& run = windows_[index].run;
    Expect(document.ActiveScript == run.script,
           run.script ? "the scripted run stopped" : "a script runs that nobody started");
    if (run.script) {
        Expect(document.ActiveElement == &TestAt(*run.script, run.test),
               "the run announces another test than the one due");
        Expect(ShownSerial(document) == run.serial, "the run announces coupon " +
                                                        ShownSerial(document).value_or("(none)") +
                                                        " instead of " + run.serial);
    }
}

void OperatingFlow::CheckItems(std::size_t index) {
    const CollectionWindow& window = program_->windows[index];
    const COrvikDoc& document = *window.document;
    const WindowLedger& ledger = windows_[index];
    const auto traces = TracesOf(document);
    Expect(traces.size() == ledger.traces.size(), "a filed trace is missing or one too many");
    for (std::size_t i = 0; i < traces.size(); ++i) {
        const FiledTrace& filed = ledger.traces[i];
        const TraceRecord& trace = *traces[i];
        Expect(trace.Name == filed.name,
               "trace \"" + trace.Name + "\" should be \"" + filed.name + "\"");
        Expect(trace.Tag == filed.tag && trace.ElementPosition == filed.position,
               "trace \"" + trace.Name + "\" is filed as the wrong test");
        Expect(trace.Criteria == filed.criterion &&
                   Impedances(trace) == measurements_[filed.measurement].impedance,
               "trace \"" + trace.Name + "\" is not the measurement that was filed");
    }
    const auto recovered = Recovered(window);
    Expect(StoredItems(*recovered) == StoredItems(document),
           "what a recovery rebuilds differs from the collection");
    TestTree rebuilt(*recovered);
    rebuilt.Rebuild();
    Expect(Shape(rebuilt) == Shape(window.tree->Tree()),
           "the tree of the recovered collection differs from the tree shown");
}

void OperatingFlow::Check() {
    CheckSelector();
    const auto& windows = program_->windows;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        for (std::size_t j = i + 1; j < windows.size(); ++j) {
            const Script* script = windows[i].document->ActiveScript;
            Expect(script == nullptr || script != windows[j].document->ActiveScript,
                   "two windows run the same script");
        }
        CheckRun(i);
    }
    if (ActiveLedger().measurement) {
        const Criterion* shown = program_->selector.SelectedCriterion();
        ActiveLedger().shownSince.push_back(shown ? *shown : Criterion());
    }
    CheckItems(program_->active);
}

}  // namespace orvik::testing
