// A station that records traces on the simulated instrument with a recovery
// journal, for the test that kills it. It opens LOT.tdr, records a trace,
// deletes a saved one and saves; runs two coupons of a script, deletes the
// first script with its coupon and saves again; resumes the script, which
// takes the next coupon's serial; opens LOT.tdr again, giving up what was not
// saved; records and deletes. After each operation the operator has seen,
// what Save would write then goes to STATES/state-N.tdr (N from 0). With
// --every-list, every list the journal was told about, in order, goes to
// STATES/list-N.tdr at the end.
//
//   journal_child RECOVERY_FOLDER STATES_FOLDER CRITERIA.dat LOT.tdr [--every-list]
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
        } else if (change.What == DocumentChange::Kind::Reloaded) {
            tree.Rebuild();
        }
    }
    TestTree tree;
};

// What the operator has seen, for the test to read after a kill: whole or not
// at all, and quickly (a kill keeps the page cache; only the journal and the
// collection need to reach the disk).
void WriteState(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::exit(3);
    }
}

// Passes everything on to the journal and, when asked, keeps every list the
// journal was told about: each one a kill could leave for recovery.
class EveryList : public ItemListListener {
  public:
    EveryList(COrvikDoc& document, RecoveryJournal& journal, bool keep)
        : document_(document), journal_(journal), keep_(keep) {
        document.SetItemListener(this);
    }
    ~EveryList() override { document_.SetItemListener(&journal_); }

    void ItemInserted(const COrvikDoc& d, std::size_t i) override { journal_.ItemInserted(d, i); }
    void ItemRemoved(const COrvikDoc& d, std::size_t i) override { journal_.ItemRemoved(d, i); }
    void ItemChanged(const COrvikDoc& d, std::size_t i) override { journal_.ItemChanged(d, i); }
    void ChangesComplete(const COrvikDoc& d) override {
        journal_.ChangesComplete(d);
        Keep();
    }
    void MatchesFile(const COrvikDoc& d) override {
        journal_.MatchesFile(d);
        Keep();
    }
    void Saving(const COrvikDoc& d, const std::string& path, const FileIdentity& file) override {
        journal_.Saving(d, path, file);
    }

    void Write(const std::string& folder) const {
        for (std::size_t n = 0; n < lists_.size(); ++n) {
            WriteState(folder + "/list-" + std::to_string(n) + ".tdr", lists_[n]);
        }
    }

  private:
    void Keep() {
        if (keep_) {
            std::vector<std::uint8_t> list = document_.ToBytes();
            if (lists_.empty() || lists_.back() != list) {
                lists_.push_back(std::move(list));
            }
        }
    }

    COrvikDoc& document_;
    RecoveryJournal& journal_;
    bool keep_;
    std::vector<std::vector<std::uint8_t>> lists_;
};

// The first root of the tree whose node is of `kind`.
TestTreeNode* FirstRoot(TestTree& tree, TestTreeNode::Kind kind) {
    for (const auto& node : tree.Roots()) {
        if (node->NodeKind == kind) {
            return node.get();
        }
    }
    return nullptr;
}

std::int64_t FixedTime() {
    return 1'790'000'000;  // the same records in every run
}

int Run(const std::string& recovery, const std::string& states, const std::string& criteria,
        const std::string& lot, bool everyList) {
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
    EveryList lists(document, journal, everyList);
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
        WriteState(states + "/state-" + std::to_string(shown++) + ".tdr", document.ToBytes());
    };
    const auto record = [&] {
        station.RunTest(document);
        station.RecordTest(document);
        seen();
    };
    const auto open = [&] {
        if (!document.Open(lot)) {
            std::exit(4);
        }
        seen();
    };
    const auto save = [&] {
        if (!document.SaveAs(lot)) {
            std::exit(5);
        }
        seen();
    };
    open();
    record();
    station.DeleteTreeNode(document, tree.tree, FirstRoot(tree.tree, TestTreeNode::Kind::Trace));
    seen();
    save();
    station.Scripts().Start(document, script);
    for (std::size_t i = 0; i < 2 * script.Elements.size(); ++i) {
        record();
    }
    station.Scripts().Stop(document);
    station.DeleteTreeNode(document, tree.tree, FirstRoot(tree.tree, TestTreeNode::Kind::Script));
    seen();
    save();
    for (const auto& node : tree.tree.Roots()) {
        if (Script* resumed = tree.tree.ScriptToResume(node.get())) {
            station.Scripts().Resume(document, *resumed);
            break;
        }
    }
    for (std::size_t i = 0; i < script.Elements.size() + 1; ++i) {
        record();
    }
    station.Scripts().Stop(document);
    open();
    record();
    station.DeleteTreeNode(document, tree.tree, tree.tree.Roots().front().get());
    seen();
    lists.Write(states);
    document.RemoveObserver(&tree);
    return 0;
}

}  // namespace
}  // namespace orvik

int main(int argc, char** argv) {
    const bool everyList = argc == 6 && std::string(argv[5]) == "--every-list";
    if (argc != 5 && !everyList) {
        std::cerr << "usage: journal_child RECOVERY_FOLDER STATES_FOLDER CRITERIA.dat LOT.tdr "
                     "[--every-list]\n";
        return 2;
    }
    return orvik::Run(argv[1], argv[2], argv[3], argv[4], everyList);
}
