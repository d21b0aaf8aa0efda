#pragma once

// Scripted stand-ins for the operator, the main window and the instrument.
#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/test_station.h"
#include "base/clock.h"
#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "criteria/criterion_selector.h"

namespace orvik::testing {

class ScriptedPrompts : public OperatorPrompts {
  public:
    struct Shown {
        std::string text;
        std::string caption;
    };

    void Message(const std::string& text, const std::string& caption, PromptIcon) override {
        messages.push_back({text, caption});
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption});
        const bool answer = yesNoAnswers.empty() ? false : yesNoAnswers.front();
        if (!yesNoAnswers.empty()) {
            yesNoAnswers.pop_front();
        }
        return answer;
    }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        proposedNames.push_back(proposed);
        if (duringTraceName) {
            duringTraceName();  // what happens while the prompt is open
        }
        return Next(traceNames, proposed);
    }
    std::optional<std::string> AskCouponSerial() override {
        ++serialPrompts;
        return Next(serials, "");
    }

    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<std::string> proposedNames;
    int serialPrompts = 0;
    std::deque<bool> yesNoAnswers;
    // An empty optional answers Cancel; without scripted answers the proposal is taken.
    std::deque<std::optional<std::string>> traceNames;
    std::deque<std::optional<std::string>> serials;
    std::function<void()> duringTraceName;

  private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers,
                                           const std::string& fallback) {
        if (answers.empty()) {
            return fallback;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class FakeHost : public StationHost {
  public:
    COrvikDoc* ActiveDocument() override { return active; }
    void PostApplySelectedCriterion() override { ++posted; }
    std::vector<COrvikDoc*> OpenDocuments() override {
        return open.empty() ? StationHost::OpenDocuments() : open;
    }
    bool ModalWindowOpen() override { return modalOpen; }
    bool IsOpen(const COrvikDoc& document) override { return &document != closed; }

    COrvikDoc* active = nullptr;
    int posted = 0;
    std::vector<COrvikDoc*> open;  // none listed: the active collection alone
    bool modalOpen = false;
    const COrvikDoc* closed = nullptr;  // a collection whose window has been closed
};

class FakeInstrument : public ProfileInstrument {
  public:
    MeasuredProfile MeasureProfile(MeasurementMode measuredMode) override {
        ++acquisitions;
        differential = IsDifferential(measuredMode);
        if (failing) {
            return {values, true};
        }
        values.assign(750, level);
        if (incomplete) {
            std::fill(values.begin() + 600, values.end(), 0.0);
            return {values, false, true};
        }
        return {values, false};
    }

    double level = 50.0;
    bool failing = false;     // the instrument could not be used; the operator was told
    bool incomplete = false;  // the record came without its last samples
    bool differential = false;
    int acquisitions = 0;
    std::vector<double> values = std::vector<double>(750, 0.0);
};

// A test station with scripted stand-ins around it and one collection that
// is the active one.
struct StationRig {
    StationRig() { host.active = &document; }

    CriteriaLibrary library;
    CriteriaSelectorModel selector;
    ScriptedPrompts prompts;
    VirtualClock clock;
    FakeHost host;
    FakeInstrument instrument;
    COrvikDoc document;
    TestStation station{library, selector, prompts, clock, host, instrument};
};

}  // namespace orvik::testing
