#include "app/script_run.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
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

const COrvikDoc* ScriptRun::OtherCollectionRunning(const COrvikDoc& document,
                                                   const Script& script) {
    for (const COrvikDoc* open : host_.OpenDocuments()) {
        if (open != &document && open->ActiveScript == &script) {
            return open;
        }
    }
    return nullptr;
}

bool ScriptRun::Start(COrvikDoc& document, Script& script) {
    if (script.Elements.empty()) {
        // A script without tests has nothing to name a trace after.
        prompts_.Message(
            "The script \"" + script.Description + "\" has no tests. Add a test before running it.",
            kScriptedTestsCaption, PromptIcon::Warning);
        return false;
    }
    if (const COrvikDoc* other = OtherCollectionRunning(document, script)) {
        // Two runs of one script would share its serial and its counter: each
        // would file coupons the other numbered.
        prompts_.Message("The script \"" + script.Description +
                             "\" is running in the collection \"" + other->Title() +
                             "\".\nStop that run before starting it here.",
                         kScriptedTestsCaption, PromptIcon::Warning);
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
    // The graph's prompt box names the next test and its cable.
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::RunStateChanged});
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

namespace {

// The first of the script's tests that `filed` (element positions) lacks.
ScriptElement* FirstMissingTest(Script& script, const std::vector<std::int32_t>& filed) {
    for (ScriptElement& element : script.Elements) {
        if (std::find(filed.begin(), filed.end(), element.Position) == filed.end()) {
            return &element;
        }
    }
    return nullptr;
}

// Sets the counter just above the highest decimal serial among `coupons`, so
// that a resumed automatic run neither files a serial twice nor skips one.
void CountOnFrom(Script& script, const std::vector<RecordedCoupon>& coupons) {
    std::optional<std::int32_t> highest;
    for (const RecordedCoupon& coupon : coupons) {
        std::int32_t serial = 0;
        const char* end = coupon.Serial.data() + coupon.Serial.size();
        const auto [stop, error] = std::from_chars(coupon.Serial.data(), end, serial);
        if (error == std::errc() && stop == end && !coupon.Serial.empty()) {
            highest = std::max(highest.value_or(serial), serial);
        }
    }
    if (highest) {
        script.SerialCounter = static_cast<std::int32_t>(std::int64_t{*highest} + 1);
    }
}

}  // namespace

bool ScriptRun::Resume(COrvikDoc& document, Script& script) {
    if (script.Elements.empty()) {
        return false;
    }
    const std::vector<RecordedCoupon> coupons = RecordedCoupons(document, script);
    ScriptElement* next = &script.Elements.front();
    if (!coupons.empty()) {
        const std::int32_t counter = script.SerialCounter;
        if (script.AutoNumber()) {
            CountOnFrom(script, coupons);
        }
        if (ScriptElement* missing = FirstMissingTest(script, coupons.back().Positions)) {
            next = missing;  // the last coupon is finished first, under its own serial
            script.CurrentSerial = coupons.back().Serial;
        } else {
            const std::optional<std::string> serial = NextCouponSerial(script);
            if (!serial) {
                script.SerialCounter = counter;
                return false;
            }
            script.CurrentSerial = *serial;
        }
        if (script.SerialCounter != counter) {
            document.NoteItemChanged(&script);  // the stored counter moved on
        }
    } else if (script.CurrentSerial.empty()) {
        // Nothing filed and no coupon named (its coupons were deleted and
        // the file reopened): a trace must not be named without a serial.
        const std::int32_t counter = script.SerialCounter;
        const std::optional<std::string> serial = NextCouponSerial(script);
        if (!serial) {
            return false;
        }
        script.CurrentSerial = *serial;
        if (script.SerialCounter != counter) {
            document.NoteItemChanged(&script);
        }
    }
    document.ActiveScript = &script;
    selector_.SetEnabled(false);
    document.ActiveElement = next;
    SelectElementCriterion(document, true);
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::RunStateChanged});
    return true;
}

void ScriptRun::Activated(COrvikDoc& document) {
    selector_.SetEnabled(document.ActiveScript == nullptr);
    if (document.ActiveScript != nullptr) {
        SelectElementCriterion(document, false);
    }
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
