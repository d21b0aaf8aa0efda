#include "app/script_run.h"

#include <iterator>

#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "collection/orvik_doc.h"
#include "criteria/criterion_selector.h"
#include "script/script.h"

namespace orvik {

ScriptRun::ScriptRun(CriteriaSelectorModel& selector, OperatorPrompts& prompts, StationHost& host,
                     std::function<void(COrvikDoc&)> applyNow)
    : selector_(selector), prompts_(prompts), host_(host), applyNow_(std::move(applyNow)) {}

std::string ScriptRun::RecordName(const Script& script, const std::string& postfix) {
    return script.Prefix + script.CurrentSerial + postfix;
}

std::optional<std::string> ScriptRun::NextCouponSerial(Script& script) {
    if (script.PromptForSerial == 1) {
        return prompts_.AskCouponSerial();
    }
    return script.TakeAutoSerial();
}

void ScriptRun::SelectElementCriterion(COrvikDoc& document, bool post) {
    if (document.ActiveElement == nullptr ||
        !selector_.SelectCriterionById(document.ActiveElement->CriterionId)) {
        return;  // an unknown criterion leaves the selection and the trace as they were
    }
    if (post) {
        host_.PostApplySelectedCriterion();
    } else {
        applyNow_(document);
    }
}

bool ScriptRun::Start(COrvikDoc& document, Script& script) {
    if (script.Elements.empty()) {
        // A script without tests has nothing to name a trace after.
        prompts_.Message(
            "The script \"" + script.Description + "\" has no tests. Add a test before running it.",
            "Scripted Tests", PromptIcon::Warning);
        return false;
    }
    document.ActiveScript = &script;
    selector_.SetEnabled(false);
    document.ActiveElement = &script.Elements.front();
    const std::optional<std::string> serial = NextCouponSerial(script);
    if (!serial) {
        document.ActiveScript = nullptr;
        selector_.SetEnabled(true);
        return false;
    }
    script.CurrentSerial = *serial;
    document.NoteItemChanged(&script);  // a collection's own script took a serial
    SelectElementCriterion(document, true);
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::RunStateChanged});
    return true;
}

void ScriptRun::Advance(COrvikDoc& document) {
    Script* script = document.ActiveScript;
    if (script == nullptr) {
        return;
    }
    auto current = script->Elements.begin();
    while (current != script->Elements.end() && &*current != document.ActiveElement) {
        ++current;
    }
    if (current != script->Elements.end() && std::next(current) != script->Elements.end()) {
        document.ActiveElement = &*std::next(current);
    } else {
        // The coupon is finished: the next one starts at the first test.
        if (stopAtCouponEnd_) {
            Stop(document);
            return;
        }
        const std::optional<std::string> serial = NextCouponSerial(*script);
        if (!serial) {
            Stop(document);
            return;
        }
        document.ActiveElement = script->Elements.empty() ? nullptr : &script->Elements.front();
        script->CurrentSerial = *serial;
        document.NoteItemChanged(script);  // a resumed script's counter moved on
    }
    SelectElementCriterion(document, false);
}

void ScriptRun::Stop(COrvikDoc& document) {
    stopAtCouponEnd_ = false;
    const bool wasRunning = document.ActiveScript != nullptr;
    document.ActiveScript = nullptr;
    selector_.SetEnabled(true);
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::RunStateChanged});
    if (wasRunning) {
        host_.Notify({StationNotice::Kind::ScriptStopped, {}, false});
    }
}

std::optional<ScriptProgress> ScriptRun::Progress(const COrvikDoc& document) {
    const Script* script = document.ActiveScript;
    if (script == nullptr || document.ActiveElement == nullptr) {
        return std::nullopt;
    }
    int test = 1;
    for (const ScriptElement& element : script->Elements) {
        if (&element == document.ActiveElement) {
            return ScriptProgress{script->Prefix + script->CurrentSerial, test,
                                  static_cast<int>(script->Elements.size())};
        }
        ++test;
    }
    return std::nullopt;  // a test that is no longer the script's
}

bool ScriptRun::Resume(COrvikDoc& document, Script& script) {
    if (script.Elements.empty()) {
        return false;
    }
    document.ActiveScript = &script;
    selector_.SetEnabled(false);
    document.ActiveElement = &script.Elements.front();
    SelectElementCriterion(document, true);
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::RunStateChanged});
    return true;
}

bool ScriptRun::Guard(COrvikDoc* document) {
    if (document == nullptr || document->ActiveScript == nullptr) {
        return true;
    }
    if (!prompts_.AskYesNo(kScriptRunningQuestion, kScriptRunningCaption)) {
        return false;
    }
    Stop(*document);
    return true;
}

}  // namespace orvik
