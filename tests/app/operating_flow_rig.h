#pragma once

// The operating flow as the program puts it together, without its windows:
// criteria.dat in a folder of its own, the toolbar selector, the station on a
// simulated MV300 with its trigger port, and collection windows, each with its
// test tree and recovery journal. Everything is reached through the operations
// that the windows call, in the order they call them.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/test_station.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "criteria/criterion_selector.h"
#include "instrument/instrument_station.h"
#include "journal/recovery_journal.h"
#include "simulator/simulated_driver_port.h"
#include "station_fakes.h"

namespace orvik::testing {

// The instrument as Run Test reaches it, noting what each acquisition gave.
class WatchedInstrument : public ProfileInstrument {
  public:
    explicit WatchedInstrument(ProfileInstrument& instrument) : instrument_(instrument) {}
    MeasuredProfile MeasureProfile(MeasurementMode mode) override {
        const MeasuredProfile profile = instrument_.MeasureProfile(mode);
        ++acquisitions;
        failed = profile.Failed();
        impedance.assign(profile.Impedance.begin(), profile.Impedance.end());
        return profile;
    }

    int acquisitions = 0;
    bool failed = false;
    std::vector<double> impedance;

  private:
    ProfileInstrument& instrument_;
};

// A collection window's test tree: files each record as it comes, forgets its
// selection at every refresh, and tells the station what the operator picks.
class TreePane : public DocumentObserver {
  public:
    TreePane(COrvikDoc& document, TestStation& station)
        : document_(document), station_(station), tree_(document) {
        tree_.Rebuild();
        document_.AddObserver(this);
    }
    ~TreePane() override { document_.RemoveObserver(this); }
    TreePane(const TreePane&) = delete;
    TreePane& operator=(const TreePane&) = delete;

    void OnDocumentUpdate(COrvikDoc&, DocumentObserver* sender,
                          const DocumentChange& change) override {
        if (sender == this) {
            return;
        }
        if (change.What == DocumentChange::Kind::Reloaded) {
            tree_.Rebuild();
        } else if (change.What == DocumentChange::Kind::TraceRecorded && change.Recorded) {
            tree_.InsertRecord(*change.Recorded);
        }
        selected_ = nullptr;
    }

    // The nodes as the tree lists them, top to bottom; only those of `kind`
    // when one is given.
    std::vector<TestTreeNode*> Nodes(std::optional<TestTreeNode::Kind> kind = std::nullopt) const {
        std::vector<TestTreeNode*> nodes;
        for (const auto& root : tree_.Roots()) {
            Collect(*root, kind, nodes);
        }
        return nodes;
    }
    // A click on a node.
    void Select(TestTreeNode& node) {
        const bool hadSelection = selected_ != nullptr;
        selected_ = &node;
        station_.TreeSelectionChanged(document_, node.Item, hadSelection, this);
    }
    // The Delete key on a node, once the operator has agreed.
    void Delete(TestTreeNode& node) {
        selected_ = nullptr;
        station_.DeleteTreeNode(document_, tree_, &node);
    }
    // A right click on a node.
    void Resume(TestTreeNode& node) {
        if (Script* script = tree_.ScriptToResume(&node)) {
            station_.Scripts().Resume(document_, *script);
        }
    }
    const TestTree& Tree() const { return tree_; }

  private:
    static void Collect(TestTreeNode& node, std::optional<TestTreeNode::Kind> kind,
                        std::vector<TestTreeNode*>& nodes) {
        if (!kind || node.NodeKind == *kind) {
            nodes.push_back(&node);
        }
        for (const auto& child : node.Children) {
            Collect(*child, kind, nodes);
        }
    }

    COrvikDoc& document_;
    TestStation& station_;
    TestTree tree_;
    TestTreeNode* selected_ = nullptr;
};

// One collection window. The journal goes before its collection, the tree first.
struct CollectionWindow {
    CollectionWindow() = default;
    CollectionWindow(CollectionWindow&&) = default;
    // Moved over (when a window before it closes), the old window's tree and
    // journal go before its collection, as they do when it is destroyed: the
    // journal lets go of its collection on the way out.
    CollectionWindow& operator=(CollectionWindow&& other) noexcept {
        tree = std::move(other.tree);
        journal = std::move(other.journal);
        document = std::move(other.document);
        return *this;
    }

    std::unique_ptr<COrvikDoc> document;
    std::unique_ptr<RecoveryJournal> journal;
    std::unique_ptr<TreePane> tree;
};

// One run of the program: the library, the selector, the operator, the
// instrument station on the simulated MV300 and the collection windows. A
// kill ends it without any of the closing a program does.
class Program : public StationHost, public TriggerPortListener {
  public:
    Program(sim::SimulatedDriverPort& port, VirtualClock& clock, std::filesystem::path folder)
        : port_(port), folder_(std::move(folder)), instrument_(port, clock, prompts) {
        instrument_.SetDumpPath("");
        (void)library.Load(LibraryPath());
        selector.FillInFileOrder(library);
        instrument_.StartUp({});
        instrument_.Trigger().SetListener(this);
    }

    std::string LibraryPath() const { return (folder_ / kCriteriaFileName).string(); }
    std::string RecoveryFolder() const { return (folder_ / "recovery").string(); }

    CollectionWindow& AddWindow(std::unique_ptr<COrvikDoc> document) {
        auto& window = windows.emplace_back();
        window.document = std::move(document);
        window.journal = std::make_unique<RecoveryJournal>(RecoveryFolder(), *window.document);
        window.tree = std::make_unique<TreePane>(*window.document, station);
        active = windows.size() - 1;
        return window;
    }
    void CloseWindow(std::size_t index, bool discardChanges) {
        if (discardChanges) {
            windows[index].journal->Discard();
        }
        windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(index));
        active = windows.empty() ? 0 : windows.size() - 1;
    }
    CollectionWindow* ActiveWindow() { return windows.empty() ? nullptr : &windows[active]; }

    COrvikDoc* ActiveDocument() override {
        return windows.empty() ? nullptr : windows[active].document.get();
    }
    void PostApplySelectedCriterion() override { ++posted_; }
    bool IsOpen(const COrvikDoc& document) override {
        for (const auto& window : windows) {
            if (window.document.get() == &document) {
                return true;
            }
        }
        return false;
    }
    std::vector<COrvikDoc*> OpenDocuments() override {
        std::vector<COrvikDoc*> documents;
        for (const auto& window : windows) {
            documents.push_back(window.document.get());
        }
        return documents;
    }
    bool ModalWindowOpen() override { return modalWindowOpen; }
    void StopTriggerPoll() override { triggerPollStopped = true; }
    void TriggerRunTest() override { station.TriggerRunTest(); }
    void TriggerRecordTest() override { station.TriggerRecordTest(); }

    // A pedal press, seen by the next poll of the trigger port.
    void Press(int input) {
        port_.PressInput(input);
        instrument_.Trigger().TriggerPoll();
        port_.ReleaseInput(input);
        instrument_.Trigger().TriggerPoll();
    }
    // The window's event queue: what was posted runs once the command is done.
    void DeliverPosted() {
        for (; posted_ > 0; --posted_) {
            station.ApplySelectedCriterion();
        }
    }
    // Whether any window runs `script` now.
    bool Runs(const Script& script) const {
        for (const auto& window : windows) {
            if (window.document->ActiveScript == &script) {
                return true;
            }
        }
        return false;
    }

  private:
    sim::SimulatedDriverPort& port_;
    std::filesystem::path folder_;

  public:
    CriteriaLibrary library;
    CriteriaSelectorModel selector;
    ScriptedPrompts prompts;

  private:
    InstrumentStation instrument_;

  public:
    WatchedInstrument instrument{instrument_};
    TestStation station{library, selector, prompts, instrument_.GetClock(), *this, instrument};
    // After the station, which their trees tell what the operator does.
    std::vector<CollectionWindow> windows;
    std::size_t active = 0;
    bool modalWindowOpen = false;  // a dialog or a message box is open
    bool triggerPollStopped = false;

  private:
    int posted_ = 0;
};

}  // namespace orvik::testing
