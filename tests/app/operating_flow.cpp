#include "operating_flow.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "collection/graph_summary.h"
#include "instrument/instrument_link.h"
#include "script/script.h"

namespace orvik::testing {

void Expect(bool holds, const std::string& what) {
    if (!holds) {
        RC_FAIL(what);
    }
}

ScriptElement& TestAt(Script& script, std::size_t index) {
    return *std::next(script.Elements.begin(), static_cast<std::ptrdiff_t>(index));
}

std::optional<long long> Number(const std::string& text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty()
               ? std::optional(value)
               : std::nullopt;
}

std::vector<TraceRecord*> TracesOf(const COrvikDoc& document) {
    std::vector<TraceRecord*> traces;
    for (const auto& item : document.Items()) {
        if (auto* trace = dynamic_cast<TraceRecord*>(item.get())) {
            traces.push_back(trace);
        }
    }
    return traces;
}

std::vector<double> Impedances(const TraceRecord& trace) {
    std::vector<double> values;
    for (const TraceSample& sample : trace.Samples) {
        values.push_back(sample.Impedance);
    }
    return values;
}

std::optional<std::string> ShownSerial(const COrvikDoc& document) {
    const auto text = ScriptPromptText(document);
    const std::string lead = "coupon:\n " + document.ActiveScript->Prefix;
    const std::size_t start = text ? text->find(lead) : std::string::npos;
    const std::size_t end = text ? text->find("\n test #") : std::string::npos;
    if (start == std::string::npos || end == std::string::npos || end < start + lead.size()) {
        return std::nullopt;
    }
    return text->substr(start + lead.size(), end - start - lead.size());
}

CriterionFields EditorFields(int choice) {
    static const CriterionFields kFields[] = {
        {"SE 50", "50", "10", "4", "7", false},
        {"Diff 100", "100", "10", "4", "7", true},
        {"SE 60", "60", "5", "2", "9", false},
        {"Diff 90", "90", "8", "0", "10", true},
    };
    return kFields[static_cast<std::size_t>(choice) % std::size(kFields)];
}

namespace {

sim::SimulatorOptions WarmInstrument() {
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    return options;
}

void ItemsUnder(const TestTreeNode& node, std::set<const CollectionItem*>& items) {
    items.insert(node.Item);
    for (const auto& child : node.Children) {
        ItemsUnder(*child, items);
    }
}

// A library of two criteria and two scripts: "Lot" numbers its coupons from
// 100 and tests each single-ended (A) and differential (B); "Batch" asks for
// each coupon's serial and has one test.
void WriteLibrary(const std::string& path) {
    CriteriaLibrary library;
    for (int choice : {0, 1}) {
        Criterion criterion;
        (void)ApplyCriterionFields(EditorFields(choice), criterion);
        library.AddCriterion(criterion);
    }
    Script& lot = library.AddScript();
    lot.Description = "Lot";
    lot.Prefix = "LOT7-";
    lot.PromptForSerial = 0;
    lot.AddElement() = {library.Criteria[0]->Id, 1, "A"};
    lot.AddElement() = {library.Criteria[1]->Id, 2, "B"};
    Script& batch = library.AddScript();
    batch.Description = "Batch";
    batch.Prefix = "P-";
    batch.AddElement() = {library.Criteria[0]->Id, 1, "X"};
    Expect(static_cast<bool>(library.Save(path)), "the first library could not be written");
}

}  // namespace

struct OperatingFlow::Before {
    std::size_t window;
    COrvikDoc* document;
    int acquisitions;
    std::optional<Criterion> selected;
};

OperatingFlow::OperatingFlow(std::filesystem::path folder)
    : folder_(std::move(folder)), port_(clock_, WarmInstrument()) {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    WriteLibrary((folder_ / kCriteriaFileName).string());
    Start();
    NewWindow();
    NewWindow();
    Choose(0);  // the operator's first act
}

OperatingFlow::~OperatingFlow() {
    program_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void OperatingFlow::Start() {
    program_ = std::make_unique<Program>(port_, clock_, folder_);
    counters_.clear();
    for (const auto& script : program_->library.Scripts) {
        counters_[script.get()] = script->SerialCounter;
    }
}

void OperatingFlow::Answer(bool nameGiven, bool serialGiven, bool yes) {
    ++answers_;
    nameAnswer_ = "T" + std::to_string(answers_);
    serialAnswer_ = serialGiven ? "S" + std::to_string(answers_) : std::string();
    serialGiven_ = serialGiven;
    ScriptedPrompts& prompts = program_->prompts;
    prompts.traceNames = {nameGiven ? std::optional(nameAnswer_) : std::nullopt};
    prompts.serials = {serialGiven ? std::optional(serialAnswer_) : std::nullopt};
    prompts.yesNoAnswers = {yes};
}

OperatingFlow::Before OperatingFlow::Observe() {
    CheckSelector();
    const Criterion* selected = program_->selector.SelectedCriterion();
    return {program_->active, program_->ActiveDocument(), program_->instrument.acquisitions,
            selected ? std::optional(*selected) : std::nullopt};
}

// After anything that may have run a test: a measurement that worked is what
// the window now shows and may file, judged by the criterion the toolbar
// showed, which during a run is the announced test's own.
void OperatingFlow::Measured(const Before& before) {
    const WatchedInstrument& instrument = program_->instrument;
    if (instrument.acquisitions == before.acquisitions) {
        return;
    }
    Expect(instrument.acquisitions == before.acquisitions + 1, "one command measured twice");
    Expect(before.selected.has_value(), "a test ran with no criterion selected");
    COrvikDoc& document = *before.document;
    WindowLedger& ledger = windows_[before.window];
    if (instrument.failed) {
        ledger.measurement.reset();
        Expect(!document.CanRecord(), "a failed test left something to file");
        return;
    }
    if (ledger.run.script) {
        const std::int32_t id = TestAt(*ledger.run.script, ledger.run.test).CriterionId;
        Expect(!program_->library.FindById(id) || before.selected->Id == id,
               "a scripted test was measured with another test's criterion");
    }
    Expect(document.CanRecord(), "a measurement that worked cannot be filed");
    Expect(document.TraceTemplate.Criteria == *before.selected,
           "the measurement is not judged by the toolbar's criterion");
    Expect(Impedances(document.TraceTemplate) == instrument.impedance,
           "the window does not show what the instrument measured");
    measurements_.push_back({instrument.impedance, *before.selected});
    ledger.measurement = measurements_.size() - 1;
    ledger.shownSince.clear();
}

void OperatingFlow::Press(int input) {
    if (program_->modalWindowOpen) {
        // Behind a window the operator is working in, a pedal does nothing.
        const int acquisitions = program_->instrument.acquisitions;
        const std::size_t traces = TracesOf(*program_->ActiveDocument()).size();
        program_->Press(input);
        Expect(program_->instrument.acquisitions == acquisitions &&
                   TracesOf(*program_->ActiveDocument()).size() == traces,
               "a pedal pressed while a dialog was open measured or filed a test");
        return;
    }
    if (input == 2) {
        Record(Via::Pedal, true, true);
        return;
    }
    const Before before = Observe();
    program_->Press(1);
    Measured(before);
}

void OperatingFlow::Choose(int entry) {
    CriteriaSelectorModel& selector = program_->selector;
    if (!selector.Enabled() || selector.Entries().empty()) {
        return;  // the drop-down list is greyed out or empty
    }
    selector.SelectIndex(entry % static_cast<int>(selector.Entries().size()));
    program_->station.ApplySelectedCriterion();
}

void OperatingFlow::Measure(Via via, Outcome outcome) {
    if (outcome == Outcome::Failed) {
        port_.FailNextClose();  // the instrument cannot be used: the operator is told
    } else if (outcome == Outcome::Incomplete) {
        port_.ShortenReplies(kSampleEndpoint, 0);  // blocks without their samples
    }
    const Before before = Observe();
    if (via == Via::Menu) {
        program_->station.RunTest(*before.document);  // a click on the graph
    } else if (via == Via::Pedal) {
        program_->Press(1);
    } else {
        program_->station.LiveModeTick();
    }
    port_.ClearFaults();
    Measured(before);
}

std::optional<std::string> OperatingFlow::NextCoupon(AnnouncedRun& run, bool& prompted) {
    if (!run.script->AutoNumber()) {
        prompted = true;
        return serialGiven_ ? std::optional(serialAnswer_) : std::nullopt;
    }
    if (run.resumed) {
        const auto previous = Number(run.serial);
        Expect(previous.has_value(), "an automatic serial is not a number: " + run.serial);
        return std::to_string(*previous + 1);
    }
    return std::to_string(counters_[run.script]++);
}

void OperatingFlow::Advance(WindowLedger& ledger, bool& prompted) {
    AnnouncedRun& run = ledger.run;
    if (run.test + 1 < run.script->Elements.size()) {
        ++run.test;
        return;
    }
    run.test = 0;
    if (const auto serial = NextCoupon(run, prompted)) {
        run.serial = *serial;
    } else {
        run = {};
    }
}

void OperatingFlow::Record(Via via, bool nameGiven, bool serialGiven) {
    Answer(nameGiven, serialGiven);
    COrvikDoc& document = *program_->ActiveDocument();
    WindowLedger& ledger = ActiveLedger();
    ScriptedPrompts& prompts = program_->prompts;
    const int serialPrompts = prompts.serialPrompts;
    const std::size_t namePrompts = prompts.proposedNames.size();
    const std::int32_t sample = document.NextSampleNumber;
    const bool asksName = program_->station.PromptForTraceName();
    const std::vector<TraceRecord*> before = TracesOf(document);
    CheckSelector();
    // With nothing selected a collection's trace is judged by a default criterion.
    const Criterion* shown = program_->selector.SelectedCriterion();
    const Criterion selected = shown ? *shown : Criterion();
    prompts.duringTraceName = [&] {
        const int acquisitions = program_->instrument.acquisitions;
        program_->Press(1);
        program_->Press(2);
        Expect(program_->instrument.acquisitions == acquisitions &&
                   TracesOf(document).size() == before.size(),
               "a pedal pressed while the trace name was asked for measured or filed a test");
    };
    if (via == Via::Pedal) {
        program_->Press(2);
    } else {
        program_->station.RecordTest(document);  // the menu, F9 or a right click on the graph
    }
    prompts.duringTraceName = nullptr;

    std::optional<FiledTrace> filed;
    std::optional<std::int32_t> testCriterion;
    bool prompted = false;
    bool named = false;
    if (ledger.measurement && ledger.run.script) {
        Script& script = *ledger.run.script;
        const ScriptElement& test = TestAt(script, ledger.run.test);
        filed = {script.Prefix + ledger.run.serial + test.Postfix,
                 kTagScriptedRun,
                 test.Position,
                 *ledger.measurement,
                 {}};
        if (program_->library.FindById(test.CriterionId)) {
            testCriterion = test.CriterionId;
        }
        Advance(ledger, prompted);
    } else if (ledger.measurement) {
        named = asksName;
        if (!asksName || nameGiven) {
            filed = {asksName ? nameAnswer_ : "Sample #: " + std::to_string(sample),
                     kTagOutsideScript,
                     0,
                     *ledger.measurement,
                     {}};
        }
    }
    Expect(prompts.serialPrompts - serialPrompts == (prompted ? 1 : 0),
           prompted ? "the next coupon's serial was not asked for"
                    : "a coupon serial was asked for out of turn");
    Expect(prompts.proposedNames.size() - namePrompts == (named ? 1u : 0u),
           "the trace name was asked for out of turn");
    const std::vector<TraceRecord*> after = TracesOf(document);
    Expect(after.size() == before.size() + (filed ? 1 : 0),
           filed ? "Record Test did not file the measurement" : "Record Test filed a trace");
    if (!filed) {
        return;
    }
    // Where the new trace went among the others; everything else stays in order.
    std::size_t at = 0;
    while (at < before.size() && after[at] == before[at]) {
        ++at;
    }
    const TraceRecord& trace = *after[at];
    const Measurement& measurement = measurements_[filed->measurement];
    const auto& shownSince = ledger.shownSince;
    Expect(
        trace.Criteria == measurement.criterion || trace.Criteria == selected ||
            std::find(shownSince.begin(), shownSince.end(), trace.Criteria) != shownSince.end(),
        "a trace was filed judged by a criterion it was neither measured with nor shown against");
    Expect(!testCriterion || trace.Criteria.Id == *testCriterion,
           "a scripted trace was filed judged by another test's criterion");
    filed->criterion = trace.Criteria;
    ledger.traces.insert(ledger.traces.begin() + static_cast<std::ptrdiff_t>(at), *filed);
    ledger.measurement.reset();
}

void OperatingFlow::ShowStoredTrace(int trace) {
    TreePane& tree = *Active().tree;
    const auto nodes = tree.Nodes();
    if (nodes.empty()) {
        return;
    }
    TestTreeNode& node = *nodes[static_cast<std::size_t>(trace) % nodes.size()];
    if (node.NodeKind == TestTreeNode::Kind::Trace) {
        ActiveLedger().measurement.reset();  // shown, not measured
    }
    tree.Select(node);
}

void OperatingFlow::Delete(int pick) {
    TreePane& tree = *Active().tree;
    const auto nodes = tree.Nodes();
    if (nodes.empty()) {
        return;
    }
    TestTreeNode& node = *nodes[static_cast<std::size_t>(pick) % nodes.size()];
    std::set<const CollectionItem*> doomed;
    ItemsUnder(node, doomed);
    WindowLedger& ledger = ActiveLedger();
    const auto traces = TracesOf(*Active().document);
    for (std::size_t i = traces.size(); i-- > 0;) {
        if (doomed.count(traces[i]) != 0) {
            ledger.traces.erase(ledger.traces.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (ledger.run.resumed && doomed.count(ledger.run.script) != 0) {
        ledger.run = {};  // the run's own script item went
    }
    tree.Delete(node);
}

// Where a resumed run goes on: at the first test that the script item's last
// coupon lacks, under that coupon's serial; once every test of it is filed,
// with a new coupon, asked for or numbered above every serial the item has
// filed. Whether the serial was asked for or must be read from the prompt box
// is known only afterwards. True when the run goes on with the last coupon.
bool OperatingFlow::ExpectResumed(WindowLedger& ledger, const TestTreeNode& node) {
    auto& script = static_cast<Script&>(*node.Item);
    ledger.run = {&script, true, 0, {}};
    const TestTreeNode* last = nullptr;
    for (const auto& child : node.Children) {
        last = child->NodeKind == TestTreeNode::Kind::Coupon ? child.get() : last;
    }
    if (last == nullptr) {
        return false;
    }
    std::set<std::int32_t> filed;
    for (const auto& trace : last->Children) {
        filed.insert(static_cast<const TraceRecord&>(*trace->Item).ElementPosition);
    }
    for (const ScriptElement& test : script.Elements) {
        if (filed.count(test.Position) == 0) {
            ledger.run.serial = static_cast<const CouponMarker&>(*last->Item).Serial;
            return true;
        }
        ++ledger.run.test;
    }
    ledger.run.test = 0;
    return false;
}

void OperatingFlow::Resume(int pick, bool serialGiven) {
    Answer(true, serialGiven);
    CollectionWindow& window = Active();
    const auto nodes = window.tree->Nodes(TestTreeNode::Kind::Script);
    if (nodes.empty()) {
        return;
    }
    TestTreeNode& node = *nodes[static_cast<std::size_t>(pick) % nodes.size()];
    auto& script = static_cast<Script&>(*node.Item);
    if (script.Elements.empty()) {
        return;  // nothing to resume
    }
    WindowLedger& ledger = ActiveLedger();
    const AnnouncedRun before = ledger.run;
    const int serialPrompts = program_->prompts.serialPrompts;
    std::optional<long long> highest;
    for (const auto& child : node.Children) {
        if (const auto number = Number(static_cast<const CouponMarker&>(*child->Item).Serial)) {
            highest = std::max(highest.value_or(*number), *number);
        }
    }
    const bool coupons = !node.Children.empty();
    const bool lastCoupon = ExpectResumed(ledger, node);
    window.tree->Resume(node);
    program_->DeliverPosted();
    const bool prompted = program_->prompts.serialPrompts != serialPrompts;
    if (lastCoupon) {
        Expect(!prompted, "resuming asked for the serial of a coupon it has filed");
        return;
    }
    // A new coupon: asked for when the script asks for serials, otherwise
    // numbered above every serial filed. With nothing filed the run may also
    // start again at its first test under the serial it had.
    Expect(prompted == (!script.AutoNumber() && (coupons || prompted)),
           "resuming asked for a serial out of turn");
    if (prompted && !serialGiven) {
        // Cancelled: the resumed run does not start; the one before may go on.
        const bool goesOn = window.document->ActiveScript == before.script;
        ledger.run = goesOn ? before : AnnouncedRun{};
        return;
    }
    const auto shown = window.document->ActiveScript ? ShownSerial(*window.document) : std::nullopt;
    Expect(shown && !shown->empty(), "the resumed run announces a coupon without a serial");
    if (prompted) {
        Expect(*shown == serialAnswer_, "the resumed run announces another coupon than typed");
    } else if (coupons || script.AutoNumber()) {
        const auto number = Number(*shown);
        Expect(number && (!highest || *number > *highest),
               "the resumed run's next coupon is not numbered above the coupons it has filed");
    }
    ledger.run.serial = *shown;
}

// The script no window may run any more: its runs are over.
void OperatingFlow::RunStopped(const Script* script) {
    for (std::size_t i = 0; i < windows_.size(); ++i) {
        if (windows_[i].run.script == script &&
            program_->windows[i].document->ActiveScript != script) {
            windows_[i].run = {};
        }
    }
}

void OperatingFlow::DialogStepInScripts(ScriptEditorModel& editor, const DialogStep& step) {
    const auto scripts = static_cast<int>(editor.ScriptEntries().size());
    const auto tests = static_cast<int>(editor.ElementEntries().size());
    const auto criteria = static_cast<int>(editor.CriterionChoices().size());
    switch (step.kind) {
        case DialogStep::Kind::Select:
            editor.SelectScript(scripts == 0 ? -1 : step.choice % scripts);
            break;
        case DialogStep::Kind::Create:
            editor.Create();
            counters_[editor.SelectedScript()] = editor.SelectedScript()->SerialCounter;
            break;
        case DialogStep::Kind::Delete:
            (void)editor.Delete();  // refused for a script that a window runs
            break;
        case DialogStep::Kind::AddTest:
            editor.Add();
            break;
        case DialogStep::Kind::RemoveTest:
            (void)editor.Remove();
            break;
        case DialogStep::Kind::ChooseCriterion:
        case DialogStep::Kind::Postfix:
        case DialogStep::Kind::Edit:
            if (tests > 0) {
                editor.SelectElement(step.choice % tests);
                if (step.kind == DialogStep::Kind::Postfix) {
                    editor.Type(ScriptField::Postfix, std::string(1, 'A' + step.choice % 3));
                } else if (criteria > 0) {
                    editor.ChooseCriterion(step.choice % criteria);
                }
            }
            break;
        case DialogStep::Kind::Prompting:
            editor.ChoosePrompt(step.choice % 2 == 0);
            break;
        case DialogStep::Kind::Pedal1:
        case DialogStep::Kind::Pedal2:
            Press(step.kind == DialogStep::Kind::Pedal1 ? 1 : 2);
            break;
    }
}

void OperatingFlow::ScriptedTests(const std::vector<DialogStep>& steps, std::optional<int> run,
                                  bool serialGiven) {
    Answer(true, serialGiven);
    COrvikDoc& document = *program_->ActiveDocument();
    if (document.ActiveScript != nullptr) {
        program_->station.ScriptedTests([] { return nullptr; }, program_->LibraryPath());
        Expect(document.ActiveScript == nullptr, "Scripted Tests did not stop the running script");
        ActiveLedger().run = {};
        return;
    }
    Script* chosen = nullptr;
    int serialPrompts = 0;
    program_->station.ScriptedTests(
        [&]() -> Script* {
            const ModalWindow window(*program_);
            ScriptEditorModel editor(program_->library);
            editor.IsRunning = [this](const Script& script) { return program_->Runs(script); };
            for (const DialogStep& step : steps) {
                DialogStepInScripts(editor, step);
                CheckSelector();
            }
            Answer(true, serialGiven);
            serialPrompts = program_->prompts.serialPrompts;
            const auto scripts = static_cast<int>(editor.ScriptEntries().size());
            if (run && scripts > 0) {
                editor.SelectScript(*run % scripts);
            }
            chosen = run ? editor.SelectedScript() : nullptr;
            return chosen;
        },
        program_->LibraryPath());
    program_->DeliverPosted();
    bool prompted = false;
    WindowLedger& ledger = ActiveLedger();
    const bool runElsewhere =
        chosen && std::any_of(windows_.begin(), windows_.end(), [&](const WindowLedger& other) {
            return other.run.script == chosen;
        });
    // A script that another window runs may be refused, or that run stopped.
    if (chosen && !chosen->Elements.empty() && !(runElsewhere && !document.ActiveScript)) {
        RunStopped(chosen);
        ledger.run = {chosen, false, 0, {}};
        const auto serial = NextCoupon(ledger.run, prompted);
        ledger.run.serial = serial.value_or("");
        if (!serial) {
            ledger.run = {};
        }
    }
    Expect(program_->prompts.serialPrompts - serialPrompts == (prompted ? 1 : 0),
           "starting a script asked for a serial out of turn");
}

}  // namespace orvik::testing
