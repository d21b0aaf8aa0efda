#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/script_run.h"
#include "base/diagnostic_log.h"
#include "base/station_ports.h"
#include "criteria/criterion_selector.h"
#include "criteria/reference_keeper.h"

namespace orvik {

class Clock;
class COrvikDoc;
class CriteriaLibrary;
class OperatorPrompts;
class Script;
class TestTree;
struct TestTreeNode;

inline constexpr const char* kNoCriteriaSelected = "No criteria has been selected";
inline constexpr const char* kInvalidCriteriaCaption = "Invalid Criteria";
inline constexpr const char* kNoDocumentActive = "No document active";
inline constexpr std::int64_t kLiveModeStopWaitMs = 200;
inline constexpr const char* kIncompleteRecordText =
    "The instrument did not deliver the whole record, so this test has no result.\n"
    "Run the test again.";
inline constexpr const char* kRunTestCaption = "Run Test";

// What the "Scripted Tests" command did.
enum class ScriptedTestsOutcome {
    NoCollection,  // no collection is active, so there is nothing to run a script in
    Stopped,       // the running script stopped
    Started,       // the chosen script runs
    NotStarted,    // the dialog was closed, or the chosen script could not start
};

// The main window's testing state and operations, without the window: live
// mode, Run Test, Record Test, applying the selected criterion, the script
// guard and the timer ticks. Everything runs on the user-interface thread.
class TestStation {
  public:
    TestStation(CriteriaLibrary& library, CriteriaSelectorModel& selector, OperatorPrompts& prompts,
                Clock& clock, StationHost& host, ProfileInstrument& instrument);
    ~TestStation();
    TestStation(const TestStation&) = delete;
    TestStation& operator=(const TestStation&) = delete;

    // Where what the operator is not told goes (ignored commands, failed
    // tests); nothing is written until a log is given.
    void SetLog(DiagnosticLog& log) {
        log_ = &log;
        references_.SetLog(log);
    }

    // Who hears of every trace filed from now on (the results database); none
    // to stop.
    void SetFiledTraceListener(FiledTraceListener* listener) { filed_ = listener; }

    // Where acquisitions run from now on; in place until this is called.
    void SetInstrumentWork(InstrumentWork& work) { work_ = &work; }

    // Live mode: every tick of the live timer runs a test.
    bool LiveMode() const { return liveMode_; }
    void SetLiveMode(bool on) { liveMode_ = on; }
    // While the instrument works (a measurement, start-up) ticks start nothing.
    bool InstrumentBusy() const { return instrumentBusy_; }
    void SetInstrumentBusy(bool busy) { instrumentBusy_ = busy; }
    // Record Test is under way (a prompt of it may be open): triggers, keys
    // and ticks that would run or record a test meanwhile are ignored.
    bool Recording() const { return recording_; }

    // The "Prompt for Trace Name" command: flips the flag kept in the library.
    void TogglePromptForTraceName();
    bool PromptForTraceName() const;

    void ToggleLiveMode() { liveMode_ = !liveMode_; }
    // Before a command opens a modal window: live mode off, then a short wait
    // for the instrument to settle.
    void StopLiveMode();
    // Asks before disturbing a running script in the active collection.
    bool ScriptGuard();

    // Copies the selected criterion (a default one when none is selected)
    // into the active collection's current trace and judges it again. A
    // trace that has just been filed keeps its own criterion and verdict.
    void ApplySelectedCriterion();
    void ApplySelectedCriterion(COrvikDoc& document);

    // One acquisition into the collection's current trace. With instrument
    // work on a worker thread it returns at once, the instrument busy until
    // the measurement lands in the trace; a Run Test meanwhile does nothing.
    // A failed one leaves no trace to show or record and stops live mode.
    void RunTest(COrvikDoc& document);
    // Appends a copy of the current trace, named by the running script or by
    // the sample counter: once per successful Run Test, and only that.
    void RecordTest(COrvikDoc& document);

    // Timer ticks and trigger inputs act on the active collection. The
    // trigger inputs are ignored while a modal window is open: a pedal must
    // not measure or file behind a dialog the operator is working in.
    void LiveModeTick();
    void TriggerRunTest();
    void TriggerRecordTest();

    // Another collection became the active one. A collection running a
    // script selects and applies the criterion of its own next test, so that
    // nothing is measured with another collection's criterion; one without a
    // run frees the selector.
    void CollectionActivated(COrvikDoc& document);

    // A selection in a collection's test tree. The first selection after a
    // refresh stops live mode; a trace becomes the current trace.
    void TreeSelectionChanged(COrvikDoc& document, const class CollectionItem* item,
                              bool hadPreviousSelection, class DocumentObserver* sender);
    // Delete in a collection's test tree: the node's items go, the collection
    // is modified, a running script that went with them stops, and every view
    // is refreshed so that none shows what is gone.
    void DeleteTreeNode(COrvikDoc& document, TestTree& tree, TestTreeNode* node);

    // The "Scripted Tests" command while the active collection runs a script:
    // stops it. False when no script runs there (the command then starts one).
    bool StopRunningScript();

    // The "Scripted Tests" command. While the active collection runs a script
    // it stops the run without a question. Otherwise live mode stops,
    // `chooseScript` shows the Define and Run Scripts dialog and gives the
    // script its Run button chose (none after Close), the library is saved to
    // `libraryPath` whichever way the dialog closed, and the chosen script
    // starts in the collection.
    ScriptedTestsOutcome ScriptedTests(const std::function<Script*()>& chooseScript,
                                       const std::string& libraryPath);

    // The criteria's reference curves. Every measurement, and every
    // judgement again under another criterion, is also judged against the
    // reference of its criterion: a curve outside the mask fails.
    ReferenceKeeper& References() { return references_; }
    // A stored trace becomes the reference of the criterion it was judged
    // against, which must still be in the library; the active collection's
    // measurement is judged again. Failures say why and change nothing.
    Status MarkAsReference(const class TraceRecord& trace, ToleranceUnit unit, double tolerance);
    // The criterion's reference goes; the active collection's measurement is
    // judged again.
    Status ClearReference(std::int32_t criterionId);

    ScriptRun& Scripts() { return scripts_; }
    OperatorPrompts& Prompts() { return prompts_; }
    CriteriaSelectorModel& Selector() { return selector_; }
    CriteriaLibrary& Library() { return library_; }

  private:
    bool liveMode_ = false;
    bool instrumentBusy_ = false;
    void CompleteRunTest(COrvikDoc& document, const Criterion& criterion,
                         const MeasuredProfile& profile);
    // Limits, then the reference's mask.
    void Judge(class TraceRecord& trace) const;
    void RejudgeActiveMeasurement();
    // True (and logged) when a trigger input must be ignored now.
    bool TriggerIgnored(const char* input);

    CriteriaLibrary& library_;
    CriteriaSelectorModel& selector_;
    OperatorPrompts& prompts_;
    Clock& clock_;
    StationHost& host_;
    ProfileInstrument& instrument_;
    InPlaceInstrumentWork inPlaceWork_;
    InstrumentWork* work_ = &inPlaceWork_;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
    FiledTraceListener* filed_ = nullptr;
    ScriptRun scripts_;
    ReferenceKeeper references_;
    bool recording_ = false;
    // The collection whose trace a measurement refilled while a Record Test
    // prompt was open; that newer trace is not the one being filed.
    const COrvikDoc* refilledWhileRecording_ = nullptr;
};

}  // namespace orvik
