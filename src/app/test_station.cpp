#include "app/test_station.h"

#include <memory>

#include "base/clock.h"
#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "collection/orvik_doc.h"
#include "collection/reference_mask.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "criteria/criteria_manager.h"
#include "script/script.h"

namespace orvik {

namespace {
constexpr const char* kLogSource = "app";
}  // namespace

TestStation::TestStation(CriteriaLibrary& library, CriteriaSelectorModel& selector,
                         OperatorPrompts& prompts, Clock& clock, StationHost& host,
                         ProfileInstrument& instrument)
    : library_(library),
      selector_(selector),
      prompts_(prompts),
      clock_(clock),
      host_(host),
      instrument_(instrument),
      scripts_(selector, prompts, host,
               [this](COrvikDoc& document) { ApplySelectedCriterion(document); }) {
    // The selector never keeps a criterion the library has destroyed.
    // Nor does its reference outlive it: a criterion added later may be
    // given the same id.
    library_.SetRemovalWatcher([this](const Criterion& criterion) {
        selector_.Forget(criterion);
        if (const Status cleared = references_.Clear(criterion.Id); !cleared) {
            log_->Warning(kLogSource, "the reference of a deleted criterion stays in " +
                                          references_.Path() + ": " + cleared.Error().Message);
        }
    });
}

TestStation::~TestStation() {
    library_.SetRemovalWatcher(nullptr);
}

void TestStation::TogglePromptForTraceName() {
    library_.PromptForTraceName = library_.PromptForTraceName != 0 ? 0 : 1;
}

bool TestStation::PromptForTraceName() const {
    return library_.PromptForTraceName != 0;
}

void TestStation::StopLiveMode() {
    if (liveMode_) {
        liveMode_ = false;
        clock_.SleepMs(kLiveModeStopWaitMs);
    }
}

bool TestStation::ScriptGuard() {
    return scripts_.Guard(host_.ActiveDocument());
}

void TestStation::ApplySelectedCriterion() {
    COrvikDoc* document = host_.ActiveDocument();
    if (document == nullptr) {
        prompts_.Message(kNoDocumentActive, "");
        return;
    }
    ApplySelectedCriterion(*document);
}

void TestStation::ApplySelectedCriterion(COrvikDoc& document) {
    if (document.CurrentKind == CurrentTraceKind::Recorded) {
        // A filed measurement keeps the verdict of the criterion it was
        // measured for (a run has just moved on to its next test); the next
        // Run Test takes the new criterion.
        return;
    }
    const Criterion* selected = selector_.SelectedCriterion();
    document.TraceTemplate.Criteria = selected ? *selected : Criterion();
    Judge(document.TraceTemplate);
    document.UpdateAllViews();
}

void TestStation::Judge(TraceRecord& trace) const {
    trace.Evaluate();
    JudgeAgainstReference(trace, references_.References());
}

void TestStation::RejudgeActiveMeasurement() {
    COrvikDoc* document = host_.ActiveDocument();
    if (document == nullptr) {
        return;
    }
    // A filed trace keeps its verdict; the graph shows the new mask either way.
    if (document->CurrentKind == CurrentTraceKind::Measurement) {
        Judge(document->TraceTemplate);
    }
    document->UpdateAllViews();
}

Status TestStation::MarkAsReference(const TraceRecord& trace, ToleranceUnit unit,
                                    double tolerance) {
    if (library_.FindById(trace.Criteria.Id) == nullptr) {
        return Failure{"The criterion \"" + trace.Criteria.Name +
                           "\" that this trace was judged against is no longer in the library.",
                       ""};
    }
    Status marked = references_.Mark(ReferenceFromTrace(trace, unit, tolerance));
    if (marked) {
        RejudgeActiveMeasurement();
    }
    return marked;
}

Status TestStation::ClearReference(std::int32_t criterionId) {
    Status cleared = references_.Clear(criterionId);
    if (cleared) {
        RejudgeActiveMeasurement();
    }
    return cleared;
}

void TestStation::RunTest(COrvikDoc& document) {
    if (instrumentBusy_ || recording_) {
        return;  // the operator is answering a prompt of the running operation
    }
    const Criterion* criterion = selector_.SelectedCriterion();
    if (criterion == nullptr) {
        liveMode_ = false;
        prompts_.Message(kNoCriteriaSelected, kInvalidCriteriaCaption);
        return;
    }
    // A message box inside the acquisition lets timer ticks through; the busy
    // flag keeps them from starting a second acquisition meanwhile. The
    // criterion is judged as it was chosen when the test started.
    instrumentBusy_ = true;
    auto profile = std::make_shared<MeasuredProfile>();
    const MeasurementMode mode = criterion->Mode();
    work_->Run([this, profile, mode] { *profile = instrument_.MeasureProfile(mode); },
               [this, profile, &document, judged = *criterion] {
                   instrumentBusy_ = false;
                   if (host_.IsOpen(document)) {
                       CompleteRunTest(document, judged, *profile);
                   }
               });
}

void TestStation::CompleteRunTest(COrvikDoc& document, const Criterion& criterion,
                                  const MeasuredProfile& profile) {
    if (recording_) {
        refilledWhileRecording_ = &document;  // what the open prompt files is older
    }
    if (profile.Failed()) {
        // Whatever the arrays hold now is no measurement of the coupon: the
        // previous trace or zeros must not be shown or filed as this test.
        log_->Warning(kLogSource, profile.StopLiveMode ? "Run Test failed; live mode stopped"
                                                       : "Run Test: the record came incomplete");
        liveMode_ = false;
        document.TraceTemplate.Criteria = criterion;
        document.ShowNoMeasurement(CurrentTraceKind::FailedTest);
        if (!profile.StopLiveMode) {
            prompts_.Message(kIncompleteRecordText, kRunTestCaption, PromptIcon::Warning);
        }
    } else {
        document.TraceTemplate.FillFromAcquisition(&criterion, profile.Impedance, 0);
        JudgeAgainstReference(document.TraceTemplate, references_.References());
        document.CurrentKind = CurrentTraceKind::Measurement;
    }
    document.UpdateAllViews();
}

namespace {

// Marks an operation under way for as long as it lasts.
class Underway {
  public:
    explicit Underway(bool& flag) : flag_(flag) { flag_ = true; }
    ~Underway() { flag_ = false; }
    Underway(const Underway&) = delete;
    Underway& operator=(const Underway&) = delete;

  private:
    bool& flag_;
};

}  // namespace

void TestStation::RecordTest(COrvikDoc& document) {
    // Only this window's latest successful measurement is filed, once; a
    // prompt of a Record Test already under way must not open a second one.
    // A measurement under way meanwhile does not touch the trace filed here.
    if (recording_ || !document.CanRecord()) {
        log_->Debug(kLogSource, recording_ ? "Record Test ignored: a trace name is being asked"
                                           : "Record Test ignored: no new measurement to file");
        if (!recording_) {
            // A pedal press that files nothing must not look like one that did.
            host_.Notify({StationNotice::Kind::RecordIgnored, {}, false});
        }
        return;
    }
    const Underway underway(recording_);
    refilledWhileRecording_ = nullptr;
    const bool savedLiveMode = liveMode_;
    liveMode_ = false;

    auto record = std::make_unique<TraceRecord>();
    record->CopyFrom(document.TraceTemplate);
    Script* script = document.ActiveScript;
    if (script != nullptr && document.ActiveElement != nullptr) {
        record->Name = ScriptRun::RecordName(*script, document.ActiveElement->Postfix);
        record->ElementPosition = document.ActiveElement->Position;
        record->Tag = kTagScriptedRun;
    } else {
        script = nullptr;
        record->Tag = kTagOutsideScript;
        std::string name = "Sample #: " + std::to_string(document.NextSampleNumber);
        ++document.NextSampleNumber;
        if (PromptForTraceName()) {
            const auto entered = prompts_.AskTraceName(name);
            if (!entered) {
                liveMode_ = savedLiveMode;
                return;
            }
            name = *entered;
        }
        record->Name = name;
    }

    auto& appended = static_cast<TraceRecord&>(document.AppendItem(std::move(record)));
    if (refilledWhileRecording_ != &document) {
        document.CurrentKind = CurrentTraceKind::Recorded;
    }  // else a newer measurement (or failure) arrived under the prompt and stays as it is
    document.SetModified();
    document.UpdateAllViews(DocumentChange::TraceRecordedAs(appended));
    if (filed_ != nullptr) {
        filed_->TraceFiled(document, appended);
    }
    host_.Notify({StationNotice::Kind::Recorded, appended.Name, appended.Passed});

    if (script != nullptr) {
        scripts_.Advance(document);
    }
    liveMode_ = savedLiveMode;
}

void TestStation::LiveModeTick() {
    if (!liveMode_ || instrumentBusy_) {
        return;
    }
    if (COrvikDoc* document = host_.ActiveDocument()) {
        RunTest(*document);
    }
}

bool TestStation::TriggerIgnored(const char* input) {
    if (!host_.ModalWindowOpen()) {
        return false;
    }
    log_->Debug(kLogSource, std::string(input) + " ignored: a window of the program is open");
    return true;
}

void TestStation::TriggerRunTest() {
    if (TriggerIgnored("Trigger input 1")) {
        return;
    }
    if (COrvikDoc* document = host_.ActiveDocument()) {
        RunTest(*document);
    }
}

void TestStation::TriggerRecordTest() {
    if (TriggerIgnored("Trigger input 2")) {
        return;
    }
    if (COrvikDoc* document = host_.ActiveDocument()) {
        RecordTest(*document);
    }
}

void TestStation::CollectionActivated(COrvikDoc& document) {
    scripts_.Activated(document);
}

void TestStation::TreeSelectionChanged(COrvikDoc& document, const CollectionItem* item,
                                       bool hadPreviousSelection, DocumentObserver* sender) {
    if (!hadPreviousSelection) {
        liveMode_ = false;
    }
    if (const auto* trace = dynamic_cast<const TraceRecord*>(item)) {
        // Shown, not measured: Record Test waits for the next Run Test.
        document.ShowStoredTrace(*trace);
        document.UpdateAllViews(sender);
    }
}

void TestStation::DeleteTreeNode(COrvikDoc& document, TestTree& tree, TestTreeNode* node) {
    if (node == nullptr) {
        return;
    }
    if (tree.DeleteNode(node)) {
        scripts_.Stop(document);
    }
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::ItemsDeleted});
}

bool TestStation::StopRunningScript() {
    COrvikDoc* document = host_.ActiveDocument();
    if (document == nullptr || document->ActiveScript == nullptr) {
        return false;
    }
    scripts_.Stop(*document);
    return true;
}

ScriptedTestsOutcome TestStation::ScriptedTests(const std::function<Script*()>& chooseScript,
                                                const std::string& libraryPath) {
    COrvikDoc* document = host_.ActiveDocument();
    if (document == nullptr) {
        return ScriptedTestsOutcome::NoCollection;
    }
    if (StopRunningScript()) {
        return ScriptedTestsOutcome::Stopped;
    }
    StopLiveMode();
    Script* chosen = chooseScript();
    // Everything typed in the dialog is in the library already; it reaches
    // the file however the dialog was left. A failed save has been reported
    // and the run still starts from the library in memory.
    (void)SaveLibrary(library_, prompts_, libraryPath);
    if (chosen == nullptr || !scripts_.Start(*document, *chosen)) {
        return ScriptedTestsOutcome::NotStarted;
    }
    return ScriptedTestsOutcome::Started;
}

}  // namespace orvik
