#pragma once

// The operating flow under test and a ledger of what its operator has been
// shown: every measurement, the traces each collection window must hold
// because of it, and the coupon and test each scripted run announces. Each
// operation the operator can do is one function here; after every one the
// ledger and the program must agree.
#include <rapidcheck.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "criteria/criteria_manager.h"
#include "criteria/criterion_editor.h"
#include "criteria/script_editor.h"
#include "operating_flow_rig.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::testing {

enum class Via { Menu, Pedal, Timer };
enum class Outcome { Measured, Failed, Incomplete };
enum class Modal { About, Preferences, Calibration };

// One step inside the Criteria Manager or the Define and Run Scripts dialog.
struct DialogStep {
    enum class Kind {
        Select,
        Create,
        Edit,
        Delete,
        AddTest,
        RemoveTest,
        ChooseCriterion,
        Postfix,
        Prompting,
        Pedal1,
        Pedal2
    };
    Kind kind = Kind::Select;
    int choice = 0;
};

// A measurement as the instrument gave it and the criterion it was judged by.
struct Measurement {
    std::vector<double> impedance;
    Criterion criterion;
};

// A trace the operator has seen filed.
struct FiledTrace {
    std::string name;
    std::int32_t tag = 0;
    std::int32_t position = 0;
    std::size_t measurement = 0;
    Criterion criterion;  // as it was filed
};

// A scripted run as its prompt box announced it.
struct AnnouncedRun {
    Script* script = nullptr;  // none: no run
    bool resumed = false;      // a script item of the collection, continued from the tree
    std::size_t test = 0;      // index of the test recorded next
    std::string serial;
};

struct WindowLedger {
    std::vector<FiledTrace> traces;          // in the order of the collection's items
    std::optional<std::size_t> measurement;  // measured and not filed yet
    // What the toolbar has shown since: the operator may have judged the
    // measurement by any of them before filing it.
    std::vector<Criterion> shownSince;
    AnnouncedRun run;
};

// Fails the sequence, saying what went wrong, unless `holds`.
void Expect(bool holds, const std::string& what);
ScriptElement& TestAt(Script& script, std::size_t index);
// A whole decimal number, or none.
std::optional<long long> Number(const std::string& text);
std::vector<TraceRecord*> TracesOf(const COrvikDoc& document);
std::vector<double> Impedances(const TraceRecord& trace);
// The coupon that a running script's prompt box names.
std::optional<std::string> ShownSerial(const COrvikDoc& document);
// The values the operator types into the Criteria Editor.
CriterionFields EditorFields(int choice);

// A dialog or a message box is open for as long as this lives.
class ModalWindow {
  public:
    explicit ModalWindow(Program& program) : program_(program) { program_.modalWindowOpen = true; }
    ~ModalWindow() { program_.modalWindowOpen = false; }
    ModalWindow(const ModalWindow&) = delete;
    ModalWindow& operator=(const ModalWindow&) = delete;

  private:
    Program& program_;
};

class OperatingFlow {
  public:
    explicit OperatingFlow(std::filesystem::path folder);
    ~OperatingFlow();

    // The commands, each as the window that offers it carries it out.
    void Choose(int entry);
    void Measure(Via via, Outcome outcome);
    void Record(Via via, bool nameGiven, bool serialGiven);
    void ShowStoredTrace(int trace);
    void Delete(int node);
    void Resume(int node, bool serialGiven);
    // `run`: the script picked in the list before Run; none for Close.
    void ScriptedTests(const std::vector<DialogStep>& steps, std::optional<int> run,
                       bool serialGiven);
    void CriteriaManager(bool stopScript, const std::vector<DialogStep>& steps);
    void OtherModal(Modal modal, bool stopScript, int pedals);
    void Activate(int window);
    void NewWindow();
    void CloseWindow(bool save);
    void Save();
    void Reopen();
    void Kill();
    void ToggleLiveMode() { program_->station.ToggleLiveMode(); }
    void Tick() { Measure(Via::Timer, Outcome::Measured); }
    void TogglePromptForTraceName() { program_->station.TogglePromptForTraceName(); }

    // Everything the ledger says must hold now.
    void Check();

  private:
    struct Before;
    Before Observe();
    void Measured(const Before& before);
    void Press(int input);
    void Answer(bool nameGiven, bool serialGiven, bool yes = false);
    std::optional<std::string> NextCoupon(AnnouncedRun& run, bool& prompted);
    void Advance(WindowLedger& ledger, bool& prompted);
    bool ExpectResumed(WindowLedger& ledger, const TestTreeNode& node);
    void DialogStepInManager(CriteriaManagerModel& manager, const DialogStep& step);
    void DialogStepInScripts(ScriptEditorModel& editor, const DialogStep& step);
    void RunStopped(const Script* script);
    void Start();
    void CheckSelector();
    void CheckRun(std::size_t index);
    void CheckItems(std::size_t index);

    CollectionWindow& Active() { return *program_->ActiveWindow(); }
    WindowLedger& ActiveLedger() { return windows_[program_->active]; }

    std::filesystem::path folder_;
    VirtualClock clock_;
    sim::SimulatedDriverPort port_{clock_};
    std::unique_ptr<Program> program_;
    std::vector<Measurement> measurements_;
    std::vector<WindowLedger> windows_;
    // The next automatic serial of each library script, as the runs took them.
    std::map<const Script*, std::int32_t> counters_;
    int answers_ = 0;  // names and serials the operator typed
    int files_ = 0;
    std::string nameAnswer_;
    std::string serialAnswer_;
    bool serialGiven_ = true;
};

}  // namespace orvik::testing
