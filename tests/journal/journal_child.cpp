// A station that records traces on the simulated instrument with a recovery
// journal, for the test that kills it: two traces outside a script, two
// coupons of a scripted run, a deletion, and a resumed script that takes the
// next coupon's serial. After each operation the operator has seen, what
// Save would write then goes to STATES/state-N.tdr (N from 0).
//
//   journal_child RECOVERY_FOLDER STATES_FOLDER CRITERIA.dat
#include <cstdio>
#include <iostream>
#include <string>

#include "app/test_station.h"
#include "base/clock.h"
#include "base/file_store.h"
#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "cli/simulated_command_instrument.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "criteria/criterion_selector.h"
#include "instrument/image_folders.h"
#include "instrument/instrument_station.h"
#include "journal/recovery_journal.h"
#include "script/script.h"

namespace orvik {
namespace {

class YesPrompts : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string&, PromptIcon) override {
        std::cerr << "journal_child: " << text << '\n';
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override {
        return "S" + std::to_string(++serial_);
    }

  private:
    int serial_ = 0;
};

class Host : public StationHost {
  public:
    explicit Host(COrvikDoc& document) : document_(document) {}
    COrvikDoc* ActiveDocument() override { return &document_; }
    void PostApplySelectedCriterion() override { station->ApplySelectedCriterion(document_); }
    TestStation* station = nullptr;

  private:
    COrvikDoc& document_;
};

// The test tree as the window keeps it.
class Tree : public DocumentObserver {
  public:
    explicit Tree(COrvikDoc& document) : tree(document) {}
    void OnDocumentUpdate(COrvikDoc&, DocumentObserver*, const DocumentChange& change) override {
        if (change.What == DocumentChange::Kind::TraceRecorded && change.Recorded != nullptr) {
            tree.InsertRecord(*change.Recorded);
        }
    }
    TestTree tree;
};

std::int64_t FixedTime() {
    return 1'790'000'000;  // the same records in every run
}

int Run(const std::string& recovery, const std::string& states, const std::string& criteria) {
    TraceRecord::CurrentTime = &FixedTime;
    CriteriaLibrary library;
    if (!library.Load(criteria) || library.Scripts.empty()) {
        std::cerr << "journal_child: no script in " << criteria << '\n';
        return 1;
    }
    Script& script = *library.Scripts.front();
    script.PromptForSerial = 0;  // numbered automatically, so a resumed run moves its counter

    COrvikDoc document;
    RecoveryJournal journal(recovery, document);
    YesPrompts prompts;
    VirtualClock clock;
    const auto simulated = cli::SimulatedCommandInstrument(clock, std::nullopt, std::nullopt);
    InstrumentStation instrument(*simulated, clock, prompts);
    StartUpOptions startUp;
    startUp.imageFolder = InstrumentImageFolder(ImageSet::Simulator);
    instrument.StartUp(startUp);
    CriteriaSelectorModel selector;
    selector.FillInListOrder(library);
    selector.SelectIndex(0);  // the records outside the script are judged by the first
    Host host(document);
    TestStation station(library, selector, prompts, clock, host, instrument);
    host.station = &station;
    Tree tree(document);
    document.AddObserver(&tree);

    int shown = 0;
    const auto seen = [&] {
        const std::string path = states + "/state-" + std::to_string(shown++) + ".tdr";
        if (!SaveFileAtomically(path, document.ToBytes())) {
            std::exit(3);
        }
    };
    const auto record = [&] {
        station.RunTest(document);
        station.RecordTest(document);
        seen();
    };
    record();
    record();
    station.Scripts().Start(document, script);
    for (std::size_t i = 0; i < 2 * script.Elements.size(); ++i) {
        record();
    }
    station.Scripts().Stop(document);
    station.DeleteTreeNode(document, tree.tree, tree.tree.Roots().front().get());
    seen();
    for (const auto& node : tree.tree.Roots()) {
        if (Script* resumed = tree.tree.ScriptToResume(node.get())) {
            station.Scripts().Resume(document, *resumed);
            break;
        }
    }
    for (std::size_t i = 0; i < script.Elements.size() + 1; ++i) {
        record();
    }
    document.RemoveObserver(&tree);
    return 0;
}

}  // namespace
}  // namespace orvik

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: journal_child RECOVERY_FOLDER STATES_FOLDER CRITERIA.dat\n";
        return 2;
    }
    return orvik::Run(argv[1], argv[2], argv[3]);
}
