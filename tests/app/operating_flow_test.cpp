// The operating flow driven by random sequences of the operator's commands:
// criteria chosen, tests run and recorded by menu and pedal (with the
// simulated MV300 failing some), stored traces shown, tree items deleted,
// scripts started, stopped and resumed, windows opened, switched, saved,
// reopened and closed, dialogs opened with pedals pressed inside them, and the
// program killed and its collections recovered. After every command the
// program must agree with the ledger of what the operator has been shown.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>
#include <unistd.h>

#include <atomic>
#include <ostream>

#include "operating_flow.h"

namespace orvik::testing {
namespace {

// How many collection windows are open, which is all that decides which
// commands make sense; everything else is picked when a command runs.
struct Model {
    int windows = 2;
};

struct FlowCommand : rc::state::Command<Model, OperatingFlow> {
    void run(const Model&, OperatingFlow& flow) const final {
        Do(flow);
        flow.Check();
    }
    virtual void Do(OperatingFlow& flow) const = 0;
};

const char* Name(Via via) {
    return via == Via::Menu ? "menu" : via == Via::Pedal ? "pedal" : "live-mode timer";
}
const char* Name(Outcome outcome) {
    return outcome == Outcome::Measured ? "measures"
           : outcome == Outcome::Failed ? "fails"
                                        : "comes incomplete";
}
const char* Given(bool given) {
    return given ? "typed" : "cancelled";
}

std::ostream& operator<<(std::ostream& os, const std::vector<DialogStep>& steps) {
    static const char* const kNames[] = {
        "select",           "create",       "edit",   "delete",  "add test", "remove test",
        "choose criterion", "type postfix", "naming", "pedal 1", "pedal 2"};
    os << '[';
    for (const DialogStep& step : steps) {
        os << ' ' << kNames[static_cast<int>(step.kind)] << ' ' << step.choice << ';';
    }
    return os << " ]";
}

rc::Gen<std::vector<DialogStep>> Steps(std::initializer_list<DialogStep::Kind> kinds) {
    return rc::gen::container<std::vector<DialogStep>>(rc::gen::build<DialogStep>(
        rc::gen::set(&DialogStep::kind, rc::gen::elementOf(std::vector(kinds))),
        rc::gen::set(&DialogStep::choice, rc::gen::inRange(0, 12))));
}

int Pick() {
    return *rc::gen::inRange(0, 12);
}

struct Choose : FlowCommand {
    int entry = Pick();
    void Do(OperatingFlow& flow) const override { flow.Choose(entry); }
    void show(std::ostream& os) const override { os << "choose toolbar entry " << entry; }
};

struct Measure : FlowCommand {
    Via via = *rc::gen::element(Via::Menu, Via::Pedal);
    Outcome outcome = *rc::gen::weightedElement<Outcome>(
        {{6, Outcome::Measured}, {1, Outcome::Failed}, {1, Outcome::Incomplete}});
    void Do(OperatingFlow& flow) const override { flow.Measure(via, outcome); }
    void show(std::ostream& os) const override {
        os << "Run Test by " << Name(via) << ", which " << Name(outcome);
    }
};

struct Record : FlowCommand {
    Via via = *rc::gen::element(Via::Menu, Via::Pedal);
    bool name = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    bool serial = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void Do(OperatingFlow& flow) const override { flow.Record(via, name, serial); }
    void show(std::ostream& os) const override {
        os << "Record Test by " << Name(via) << " (trace name " << Given(name) << ", coupon serial "
           << Given(serial) << ")";
    }
};

struct LiveMode : FlowCommand {
    void Do(OperatingFlow& flow) const override { flow.ToggleLiveMode(); }
    void show(std::ostream& os) const override { os << "LiveMode"; }
};

struct Tick : FlowCommand {
    void Do(OperatingFlow& flow) const override { flow.Tick(); }
    void show(std::ostream& os) const override { os << "live-mode timer tick"; }
};

struct PromptForTraceName : FlowCommand {
    void Do(OperatingFlow& flow) const override { flow.TogglePromptForTraceName(); }
    void show(std::ostream& os) const override { os << "Prompt for Trace Name"; }
};

struct ShowStoredTrace : FlowCommand {
    int node = Pick();
    void Do(OperatingFlow& flow) const override { flow.ShowStoredTrace(node); }
    void show(std::ostream& os) const override { os << "click tree node " << node; }
};

struct DeleteNode : FlowCommand {
    int node = Pick();
    void Do(OperatingFlow& flow) const override { flow.Delete(node); }
    void show(std::ostream& os) const override { os << "delete tree node " << node; }
};

struct Resume : FlowCommand {
    int node = Pick();
    bool serial = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void Do(OperatingFlow& flow) const override { flow.Resume(node, serial); }
    void show(std::ostream& os) const override {
        os << "resume script node " << node << " (coupon serial " << Given(serial) << ")";
    }
};

struct ScriptedTests : FlowCommand {
    std::vector<DialogStep> steps =
        *Steps({DialogStep::Kind::Select, DialogStep::Kind::Select, DialogStep::Kind::Create,
                DialogStep::Kind::Delete, DialogStep::Kind::AddTest, DialogStep::Kind::RemoveTest,
                DialogStep::Kind::Edit, DialogStep::Kind::Postfix, DialogStep::Kind::Prompting,
                DialogStep::Kind::Pedal1, DialogStep::Kind::Pedal2});
    std::optional<int> run = *rc::gen::weightedElement<bool>({{4, true}, {1, false}})
                                 ? std::optional(Pick())
                                 : std::nullopt;
    bool serial = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
    void Do(OperatingFlow& flow) const override { flow.ScriptedTests(steps, run, serial); }
    void show(std::ostream& os) const override {
        os << "Scripted Tests " << steps;
        if (run) {
            os << " select " << *run << ", Run";
        } else {
            os << " Close";
        }
        os << " (coupon serial " << Given(serial) << ")";
    }
};

struct CriteriaManager : FlowCommand {
    bool stop = *rc::gen::arbitrary<bool>();
    std::vector<DialogStep> steps =
        *Steps({DialogStep::Kind::Select, DialogStep::Kind::Create, DialogStep::Kind::Edit,
                DialogStep::Kind::Delete, DialogStep::Kind::Pedal1, DialogStep::Kind::Pedal2});
    void Do(OperatingFlow& flow) const override { flow.CriteriaManager(stop, steps); }
    void show(std::ostream& os) const override {
        os << "Criteria Editor (stop the script: " << (stop ? "Yes" : "No") << ") " << steps
           << " Close";
    }
};

struct OtherModal : FlowCommand {
    Modal modal = *rc::gen::element(Modal::About, Modal::Preferences, Modal::Calibration);
    bool stop = *rc::gen::arbitrary<bool>();
    int pedals = *rc::gen::inRange(0, 4);
    void Do(OperatingFlow& flow) const override { flow.OtherModal(modal, stop, pedals); }
    void show(std::ostream& os) const override {
        static const char* const kNames[] = {"About", "Preferences", "Calibrate"};
        os << kNames[static_cast<int>(modal)] << " opened, pedals " << pedals << " pressed, closed";
    }
};

struct Activate : FlowCommand {
    int window = Pick();
    void checkPreconditions(const Model& model) const override { RC_PRE(model.windows > 1); }
    void Do(OperatingFlow& flow) const override { flow.Activate(window); }
    void show(std::ostream& os) const override { os << "activate window " << window; }
};

struct NewWindow : FlowCommand {
    void checkPreconditions(const Model& model) const override { RC_PRE(model.windows < 3); }
    void apply(Model& model) const override { ++model.windows; }
    void Do(OperatingFlow& flow) const override { flow.NewWindow(); }
    void show(std::ostream& os) const override { os << "File New"; }
};

struct CloseWindow : FlowCommand {
    bool save = *rc::gen::arbitrary<bool>();
    void checkPreconditions(const Model& model) const override { RC_PRE(model.windows > 1); }
    void apply(Model& model) const override { --model.windows; }
    void Do(OperatingFlow& flow) const override { flow.CloseWindow(save); }
    void show(std::ostream& os) const override {
        os << "close the window, " << (save ? "saving it" : "giving up its changes");
    }
};

struct Save : FlowCommand {
    void Do(OperatingFlow& flow) const override { flow.Save(); }
    void show(std::ostream& os) const override { os << "File Save"; }
};

struct Reopen : FlowCommand {
    void Do(OperatingFlow& flow) const override { flow.Reopen(); }
    void show(std::ostream& os) const override { os << "save, close and open again"; }
};

struct Kill : FlowCommand {
    void Do(OperatingFlow& flow) const override { flow.Kill(); }
    void show(std::ostream& os) const override { os << "kill the program, start it, recover"; }
};

// Every sequence saves and journals many times, each write synced: in memory
// where the machine offers a file system there, so that no run waits on a disk.
std::filesystem::path CaseFolder() {
    static std::atomic<int> cases{0};
    std::error_code error;
    const std::filesystem::path memory = "/dev/shm";
    const auto base =
        std::filesystem::is_directory(memory, error) && ::access("/dev/shm", W_OK) == 0
            ? memory
            : std::filesystem::temp_directory_path();
    return base / ("orvik-flow-" + std::to_string(::getpid()) + "-" + std::to_string(cases++));
}

// The commands an operator uses most come up most often.
RC_GTEST_PROP(OperatingFlowProperty, AnyOrderOfCommandsFilesOnlyFreshWellNamedRecords, ()) {
    OperatingFlow flow(CaseFolder());
    rc::state::check(Model{}, flow,
                     rc::state::gen::execOneOfWithArgs<
                         Choose, Choose, Choose, Measure, Measure, Measure, Measure, Record, Record,
                         Record, Record, LiveMode, Tick, PromptForTraceName, ShowStoredTrace,
                         DeleteNode, Resume, Resume, ScriptedTests, ScriptedTests, ScriptedTests,
                         ScriptedTests, CriteriaManager, OtherModal, Activate, Activate, Activate,
                         Activate, Activate, NewWindow, CloseWindow, Save, Reopen, Kill>());
}

}  // namespace
}  // namespace orvik::testing
