#pragma once

#include <functional>
#include <optional>
#include <string>

namespace orvik {

class COrvikDoc;
class CriteriaSelectorModel;
class OperatorPrompts;
class Script;
class StationHost;

// Where a running script stands: the coupon under test (S/N prefix and serial)
// and which of the script's tests comes next, counted from 1.
struct ScriptProgress {
    std::string Coupon;
    int Test = 0;
    int Tests = 0;
};

// Drives a script over a batch of coupons: which test comes next, where
// coupon serials come from, and which criterion the selector shows. The run's
// state lives in the collection (ActiveScript, ActiveElement).
class ScriptRun {
  public:
    // `applyNow` applies the selected criterion to a collection at once.
    ScriptRun(CriteriaSelectorModel& selector, OperatorPrompts& prompts, StationHost& host,
              std::function<void(COrvikDoc&)> applyNow);

    // Makes `script` the collection's running script: first test, first
    // coupon serial, its criterion selected (applied through the host's queue).
    // False when the run could not start: the script has no tests, another
    // open collection runs it (its serials and counter are that run's; the
    // operator is told which collection), or the operator cancelled the
    // serial prompt.
    bool Start(COrvikDoc& document, Script& script);

    // After a scripted record: the next test, or the first test of the next
    // coupon once its serial is known.
    void Advance(COrvikDoc& document);

    // Ends the run: no running script, selector enabled, views refreshed.
    void Stop(COrvikDoc& document);

    // A batch of known size: once the coupon under test is finished the run
    // stops instead of taking the next coupon's serial, so the counter is not
    // advanced for a coupon that will never be tested.
    void StopAtCouponEnd() { stopAtCouponEnd_ = true; }

    // Resumes a script item of the collection from the test tree where its
    // run stopped: when the last coupon filed lacks tests, at its first
    // missing test; otherwise with a new coupon, whose automatic serial comes
    // after the highest one filed. A script with nothing filed starts again
    // at its first test. False when the script has no tests or the operator
    // cancelled the serial prompt.
    bool Resume(COrvikDoc& document, Script& script);

    // The collection became the active one: while it runs a script the
    // selector shows (and the collection's trace takes) the criterion of its
    // next test; without a run the selector is free.
    void Activated(COrvikDoc& document);

    // Asks before a command that would disturb a running script. True when
    // the command may go on (no script runs, or the operator agreed and the
    // run was stopped).
    bool Guard(COrvikDoc* document);

    // Where the collection's running script stands; none when no script runs.
    static std::optional<ScriptProgress> Progress(const COrvikDoc& document);

    // The name of the next scripted record: prefix, coupon serial, postfix.
    static std::string RecordName(const Script& script, const std::string& postfix);

  private:
    std::optional<std::string> NextCouponSerial(Script& script);
    // The collection other than `document` that runs `script`; none.
    const COrvikDoc* OtherCollectionRunning(const COrvikDoc& document, const Script& script);
    void SelectElementCriterion(COrvikDoc& document, bool post);

    CriteriaSelectorModel& selector_;
    OperatorPrompts& prompts_;
    StationHost& host_;
    std::function<void(COrvikDoc&)> applyNow_;
    bool stopAtCouponEnd_ = false;
};

inline constexpr const char* kScriptRunningQuestion =
    "A test script is running.\nThis action will stop the script.\nDo you wish to continue ?";
inline constexpr const char* kScriptRunningCaption = "Stop running script?";
inline constexpr const char* kScriptedTestsCaption = "Scripted Tests";

}  // namespace orvik
