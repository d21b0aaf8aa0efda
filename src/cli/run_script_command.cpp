// run-script: a scripted batch without the window. The station, the run flow
// and the test tree that files the records are the program's own, so the
// saved collection holds what the operator's program would have saved: the
// script snapshot, a coupon marker, that coupon's traces, the next marker...
// Everything the command is given is checked before the instrument starts, so
// bad input writes nothing.
#include <charconv>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/run_script_command.h"

#include "app/test_station.h"
#include "base/clock.h"
#include "base/file_stamp.h"
#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "cli/command_library.h"
#include "cli/json_writer.h"
#include "cli/results_commands.h"
#include "cli/simulated_command_instrument.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
#include "collection/trace_record.h"
#include "criteria/criteria_library.h"
#include "criteria/criteria_manager.h"
#include "criteria/criterion_selector.h"
#include "instrument/image_folders.h"
#include "instrument/instrument_station.h"
#include "script/script.h"
#include "simulator/coupon_profile.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::cli {
namespace {

int ParseCouponCount(const std::string& text) {
    int count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 1) {
        throw UsageError("--coupons must be a whole number of at least 1, not " + text);
    }
    return count;
}

std::vector<std::string> SplitSerials(const std::string& text) {
    std::vector<std::string> serials;
    std::size_t start = 0;
    for (std::size_t comma = text.find(','); comma != std::string::npos;
         comma = text.find(',', start)) {
        serials.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    serials.push_back(text.substr(start));
    return serials;
}

void RequireOptions(const RunScriptOptions& options) {
    if (!options.simulate) {
        throw UsageError("run-script needs --simulate");
    }
    if (!options.criteriaFile || !options.description || options.coupons == 0) {
        throw UsageError("--criteria, --script and --coupons are required");
    }
}

}  // namespace

RunScriptOptions ParseRunScriptOptions(const Arguments& arguments) {
    RunScriptOptions options;
    ArgumentReader reader(arguments);
    std::optional<std::string> simulated;
    while (!reader.Done()) {
        if (reader.Simulate(simulated)) {
            options.simulate = true;
        } else if (reader.Option("--criteria")) {
            options.criteriaFile = reader.Value();
        } else if (reader.Option("--script")) {
            options.description = reader.Text();
        } else if (reader.Option("--coupons")) {
            options.coupons = ParseCouponCount(reader.Value());
        } else if (reader.Option("--serials")) {
            options.serials = SplitSerials(reader.Text());
        } else if (reader.Option("--coupon")) {
            options.coupon = reader.Value();
            if (const auto profile = sim::CouponProfile::Parse(*options.coupon); !profile) {
                throw UsageError("--coupon " + *options.coupon + ": " + profile.Error().Message);
            }
        } else if (reader.Option("--out")) {
            options.out = reader.Value();
        } else if (reader.Option("--sim-store")) {
            options.simStore = reader.Value();
        } else if (reader.Option("--results")) {
            options.results = reader.Value();
            (void)ResultsOption(*options.results);
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    TakeSimulatedCoupon(options.coupon, simulated);
    RequireOptions(options);
    return options;
}

namespace {

// The operator of a batch: serials from the command line, the proposed trace
// name, and "No" to every question. Messages are kept; a failure ends with
// the last of them as its one line.
class BatchPrompts : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string&, PromptIcon) override {
        messages.push_back(text);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override {
        if (serials.empty()) {
            return std::nullopt;  // as Cancel: the run stops
        }
        std::string serial = serials.front();
        serials.pop_front();
        return serial;
    }

    std::string LastMessage(const std::string& otherwise) const {
        return messages.empty() ? otherwise : messages.back();
    }

    std::deque<std::string> serials;
    std::vector<std::string> messages;
};

// The main window of a batch: one collection, and a criterion selection that
// nothing else is waiting to overtake, so it is applied at once.
class BatchHost : public StationHost {
  public:
    explicit BatchHost(COrvikDoc& document) : document_(document) {}
    COrvikDoc* ActiveDocument() override { return &document_; }
    void PostApplySelectedCriterion() override {
        if (station != nullptr) {
            station->ApplySelectedCriterion(document_);
        }
    }
    TestStation* station = nullptr;

  private:
    COrvikDoc& document_;
};

// The test tree's window: files every record as the program's tree does and
// notes which coupon it belongs to.
class BatchTree : public DocumentObserver {
  public:
    struct Filed {
        std::string serial;
        const TraceRecord* record;
    };

    explicit BatchTree(COrvikDoc& document) : tree_(document) { tree_.Rebuild(); }
    void OnDocumentUpdate(COrvikDoc& document, DocumentObserver*,
                          const DocumentChange& change) override {
        if (change.What != DocumentChange::Kind::TraceRecorded || change.Recorded == nullptr) {
            return;
        }
        tree_.InsertRecord(*change.Recorded);
        const Script* script = document.ActiveScript;
        filed.push_back({script ? script->CurrentSerial : std::string(), change.Recorded});
    }

    std::vector<Filed> filed;

  private:
    TestTree tree_;
};

// The one script of the library with the description asked for. Two of the
// same description are refused by number, since taking either would be a guess.
Script& FindScript(CriteriaLibrary& library, const RunScriptOptions& options) {
    const std::string quoted = "\"" + ForTerminal(*options.description) + "\"";
    std::vector<Script*> found;
    for (const auto& script : library.Scripts) {
        if (script->Description == *options.description) {
            found.push_back(script.get());
        }
    }
    if (found.empty()) {
        throw CommandFailure("no script described as " + quoted + " in " + *options.criteriaFile);
    }
    if (found.size() > 1) {
        std::string numbers;
        for (const Script* script : found) {
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(script->ScriptNumber) + " (" +
                       std::to_string(script->Elements.size()) + " tests, customer \"" +
                       ForTerminal(script->Customer) + "\")";
        }
        throw CommandFailure(std::to_string(found.size()) + " scripts are described as " + quoted +
                             " in " + *options.criteriaFile + ": numbers " + numbers +
                             "; give each its own description");
    }
    if (found.front()->Elements.empty()) {
        throw CommandFailure("the script " + quoted + " has no tests");
    }
    return *found.front();
}

// An existing --out is appended to only when it is a collection that no
// program has open (its save would replace this run's, or this run's its
// changes); anything else there is refused and left as it is.
void OpenOutput(COrvikDoc& document, const RunScriptOptions& options) {
    std::error_code error;
    if (!options.out || !std::filesystem::exists(*options.out, error)) {
        return;
    }
    if (FileIsHeld(*options.out)) {
        throw CommandFailure("--out " + *options.out +
                             " is open in a running Orvik; close it there or give another --out");
    }
    document.HoldFile();  // an Orvik that opens it meanwhile asks first
    const Status opened = document.Open(*options.out);
    if (!opened) {
        throw CommandFailure("--out " + *options.out +
                             " exists and is not a collection: " + opened.Error().Message);
    }
    std::cerr << "orvik-cli run-script: adding to " << *options.out << ", which holds "
              << document.Items().size() << " items\n";
}

// Run Test and Record Test for every test of every coupon, as the operator
// does them; the last record ends the run.
void RunBatch(TestStation& station, COrvikDoc& document, Script& script, int coupons,
              BatchPrompts& prompts) {
    if (!station.Scripts().Start(document, script)) {
        throw CommandFailure(prompts.LastMessage("the script did not start"));
    }
    const std::size_t records = static_cast<std::size_t>(coupons) * script.Elements.size();
    for (std::size_t index = 0; index < records; ++index) {
        if (document.ActiveScript == nullptr) {
            throw CommandFailure(prompts.LastMessage("the script stopped before the last coupon"));
        }
        if (index + script.Elements.size() == records) {
            station.Scripts().StopAtCouponEnd();  // the last coupon
        }
        station.RunTest(document);
        if (!document.CanRecord()) {
            throw CommandFailure(prompts.LastMessage("the instrument could not be used"));
        }
        station.RecordTest(document);
    }
}

void WriteSummary(const std::vector<BatchTree::Filed>& filed, std::size_t perCoupon) {
    JsonWriter json;
    json.BeginObject().Key("coupons").BeginArray();
    for (std::size_t first = 0; first + perCoupon <= filed.size(); first += perCoupon) {
        bool passed = true;
        for (std::size_t i = first; i < first + perCoupon; ++i) {
            passed = passed && filed[i].record->Passed;
        }
        json.BeginObject().Field("serial", filed[first].serial).Field("passed", passed);
        json.Key("tests").BeginArray();
        for (std::size_t i = first; i < first + perCoupon; ++i) {
            const TraceRecord& record = *filed[i].record;
            json.BeginObject()
                .Field("name", record.Name)
                .Field("position", record.ElementPosition)
                .Field("average", record.Average)
                .Field("passed", record.Passed)
                .EndObject();
        }
        json.EndArray().EndObject();
    }
    json.EndArray().EndObject();
    std::cout << json.Text() << '\n';
}

}  // namespace

int RunRunScript(const Arguments& arguments) {
    const RunScriptOptions options = ParseRunScriptOptions(arguments);
    CriteriaLibrary library;
    LoadCommandLibrary(library, *options.criteriaFile, MissingLibrary::Refused);
    Script& script = FindScript(library, options);
    BatchPrompts prompts;
    if (!script.AutoNumber()) {
        const std::size_t given = options.serials ? options.serials->size() : 0;
        if (given < static_cast<std::size_t>(options.coupons)) {
            throw UsageError("the script asks for serials: --serials needs one for each of the " +
                             std::to_string(options.coupons) + " coupons, " +
                             std::to_string(given) + " given");
        }
        prompts.serials.assign(options.serials->begin(), options.serials->end());
    }
    COrvikDoc document;
    OpenOutput(document, options);

    VirtualClock clock;  // the simulated instrument needs no real pauses
    const auto simulated = SimulatedCommandInstrument(clock, options.simStore, options.coupon);
    InstrumentStation instrument(*simulated, clock, prompts);
    StartUpOptions startUp;
    startUp.commandLine = StationCommandLine("run-script", Station::Operator);
    startUp.imageFolder = InstrumentImageFolder(ImageSet::Simulator);
    const StartUpFindings findings = instrument.StartUp(startUp);
    // With --results each record is sent as the program sends it, while the batch runs.
    std::optional<CommandResults> stored;
    if (options.results) {
        stored.emplace(ResultsOption(*options.results));
        stored->Station().SetInstrument(
            results::InstrumentOf(findings, instrument.Calibration().LastOperator(),
                                  instrument.Calibration().LastDate()));
        if (options.out && document.Path().empty()) {
            document.SetPath(std::filesystem::absolute(*options.out).lexically_normal().string());
        }
    }

    CriteriaSelectorModel selector;
    selector.FillInListOrder(library);
    BatchHost host(document);
    TestStation station(library, selector, prompts, clock, host, instrument);
    host.station = &station;
    // The coupons are judged as the program judges them, against the
    // criteria's reference curves too; damaged ones are told and ignored.
    if (const std::optional<Failure> damage = station.References().Load(*options.criteriaFile)) {
        std::cerr << "orvik-cli: " << damage->Message << " " << damage->Detail << "\n";
    }
    if (stored) {
        station.SetFiledTraceListener(&stored->Station());
    }
    BatchTree tree(document);
    document.AddObserver(&tree);
    try {
        RunBatch(station, document, script, options.coupons, prompts);
    } catch (...) {
        document.RemoveObserver(&tree);
        throw;
    }
    document.RemoveObserver(&tree);

    if (!simulated->Instrument().Store().LastSaveSucceeded()) {
        throw CommandFailure("--sim-store: " + simulated->Instrument().Store().Problem());
    }
    if (options.out) {
        if (const Status saved = document.SaveAs(*options.out); !saved) {
            throw CommandFailure(saved.Error().Message + " " + saved.Error().Detail);
        }
    }
    // As the program saves it; a library that loaded is never protected.
    if (const Status saved = SaveLibrary(library, prompts, *options.criteriaFile); !saved) {
        throw CommandFailure(saved.Error().Message);
    }
    if (stored) {
        stored->Finish();
    }
    WriteSummary(tree.filed, script.Elements.size());
    return 0;
}

}  // namespace orvik::cli
