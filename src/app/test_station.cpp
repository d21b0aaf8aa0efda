#include "app/test_station.h"

#include <memory>

#include "base/clock.h"
#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "script/script.h"

namespace orvik {

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
               [this](COrvikDoc& document) { ApplySelectedCriterion(document); }) {}

void TestStation::TogglePromptForTraceName() {
    library_.PromptForTraceName = library_.PromptForTraceName != 0 ? 0 : 1;
}

bool TestStation::PromptForTraceName() const {
    return library_.PromptForTraceName != 0;
}

void TestStation::StopLiveMode() {
    if (LiveMode) {
        LiveMode = false;
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
    const Criterion* selected = selector_.SelectedCriterion();
    document.TraceTemplate.Criteria = selected ? *selected : Criterion();
    document.TraceTemplate.Evaluate();
    document.UpdateAllViews();
}

void TestStation::RunTest(COrvikDoc& document) {
    if (InstrumentBusy) {
        return;  // the measurement under way lands in the trace
    }
    const Criterion* criterion = selector_.SelectedCriterion();
    if (criterion == nullptr) {
        LiveMode = false;
        prompts_.Message(kNoCriteriaSelected, kInvalidCriteriaCaption);
        return;
    }
    // A message box inside the acquisition lets timer ticks through; the busy
    // flag keeps them from starting a second acquisition meanwhile. The
    // criterion is judged as it was chosen when the test started.
    InstrumentBusy = true;
    auto profile = std::make_shared<MeasuredProfile>();
    const bool differential = criterion->IsDifferential();
    work_->Run(
        [this, profile, differential] { *profile = instrument_.MeasureProfile(differential); },
        [this, profile, &document, judged = *criterion] {
            InstrumentBusy = false;
            if (host_.IsOpen(document)) {
                CompleteRunTest(document, judged, *profile);
            }
        });
}

void TestStation::CompleteRunTest(COrvikDoc& document, const Criterion& criterion,
                                  const MeasuredProfile& profile) {
    if (profile.StopLiveMode) {
        LiveMode = false;
    }
    document.TraceTemplate.FillFromAcquisition(&criterion, profile.Impedance, 0);
    LastTestRecorded = false;
    document.UpdateAllViews();
}

void TestStation::RecordTest(COrvikDoc& document) {
    if (LastTestRecorded) {
        return;
    }
    const bool savedLiveMode = LiveMode;
    LiveMode = false;

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
                LiveMode = savedLiveMode;
                return;
            }
            name = *entered;
        }
        record->Name = name;
    }

    auto& appended = static_cast<TraceRecord&>(document.AppendItem(std::move(record)));
    LastTestRecorded = true;
    document.RecordPending = true;
    document.PendingRecord = &appended;
    document.SetModified();
    document.UpdateAllViews();
    document.PendingRecord = nullptr;

    if (script != nullptr) {
        scripts_.Advance(document);
    }
    LiveMode = savedLiveMode;
}

void TestStation::LiveModeTick() {
    if (!LiveMode || InstrumentBusy) {
        return;
    }
    if (COrvikDoc* document = host_.ActiveDocument()) {
        RunTest(*document);
    }
}

void TestStation::TriggerRunTest() {
    if (COrvikDoc* document = host_.ActiveDocument(); document && !InstrumentBusy) {
        RunTest(*document);
    }
}

void TestStation::TriggerRecordTest() {
    if (COrvikDoc* document = host_.ActiveDocument()) {
        RecordTest(*document);
    }
}

void TestStation::TreeSelectionChanged(COrvikDoc& document, const CollectionItem* item,
                                       bool hadPreviousSelection, DocumentObserver* sender) {
    if (!hadPreviousSelection) {
        LiveMode = false;
    }
    if (const auto* trace = dynamic_cast<const TraceRecord*>(item)) {
        document.TraceTemplate.CopyFrom(*trace);
        document.UpdateAllViews(sender);
    }
}

}  // namespace orvik
