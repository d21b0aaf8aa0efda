// A station for the test that kills it: Record Test over and over on an
// instrument with noise of its own, each trace journalled before the tree
// shows it and sent to the results database as the program sends it. After
// each record it prints the trace's UUID: the tree has shown it.
//
//   results_station_child RECOVERY_FOLDER OUTBOX URL COUNT [NAME]
//
// An empty RECOVERY_FOLDER keeps no journal (the load test's stations);
// NAME is the station's name (default "killed-station").
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <random>

#include "app/test_station.h"
#include "base/clock.h"
#include "base/operator_prompts.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "criteria/criterion_selector.h"
#include "journal/recovery_journal.h"
#include "results/measurement_identity.h"
#include "results/station_results.h"

namespace orvik {
namespace {

class Answers : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string&, PromptIcon) override {
        std::cerr << "station: " << text << '\n';
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return "S"; }
};

class Host : public StationHost {
  public:
    explicit Host(COrvikDoc& document) : document_(document) {}
    COrvikDoc* ActiveDocument() override { return &document_; }
    void PostApplySelectedCriterion() override {}

  private:
    COrvikDoc& document_;
};

// A 50 ohm coupon with noise that no other station shares.
class NoisyInstrument : public ProfileInstrument {
  public:
    MeasuredProfile MeasureProfile(MeasurementMode) override {
        std::normal_distribution<double> noise(50.0, 0.2);
        for (double& value : values_) {
            value = noise(random_);
        }
        return {values_};
    }

  private:
    std::mt19937_64 random_{static_cast<std::uint64_t>(::getpid()) * 7919u};
    std::vector<double> values_ = std::vector<double>(750);
};

class Tree : public DocumentObserver {
  public:
    explicit Tree(COrvikDoc& document) : tree_(document) {}
    void OnDocumentUpdate(COrvikDoc&, DocumentObserver*, const DocumentChange& change) override {
        if (change.What == DocumentChange::Kind::TraceRecorded) {
            tree_.InsertRecord(*change.Recorded);
        }
    }

  private:
    TestTree tree_;
};

int Run(const std::string& recovery, const std::string& outbox, const std::string& url, int count,
        const std::string& name) {
    CriteriaLibrary library;
    library.AddCriterion().Name = "SE 50";
    CriteriaSelectorModel selector;
    selector.FillInListOrder(library);
    selector.SelectIndex(0);
    COrvikDoc document;
    std::optional<RecoveryJournal> journal;
    if (!recovery.empty()) {
        journal.emplace(recovery, document);
    }
    Answers prompts;
    VirtualClock clock;
    Host host(document);
    NoisyInstrument instrument;
    TestStation station(library, selector, prompts, clock, host, instrument);
    Tree tree(document);
    document.AddObserver(&tree);

    results::RecorderOptions options;
    options.OutboxPath = outbox;
    options.FirstRetry = std::chrono::milliseconds(50);
    options.LongestRetry = std::chrono::milliseconds(250);
    results::ResultsRecorder recorder(*results::ParseResultsLocation(url), options);
    results::StationResults filing(recorder, {name, "test"});
    station.SetFiledTraceListener(&filing);
    for (int n = 0; n < count; ++n) {
        station.RunTest(document);
        station.RecordTest(document);
        const auto& filed = dynamic_cast<const TraceRecord&>(*document.Items().back());
        std::printf("%s\n", results::MeasurementUuid(filed).c_str());
        std::fflush(stdout);
    }
    if (const std::size_t waiting = recorder.Close(std::chrono::seconds(20)); waiting > 0) {
        const auto why = recorder.LastFailure();
        std::cerr << "station " << name << ": " << waiting << " measurements still wait"
                  << (why ? ": " + why->Message : std::string()) << '\n';
        return 1;
    }
    station.SetFiledTraceListener(nullptr);
    document.RemoveObserver(&tree);
    return 0;
}

}  // namespace
}  // namespace orvik

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::cerr << "usage: results_station_child RECOVERY_FOLDER OUTBOX URL COUNT [NAME]\n";
        return 2;
    }
    return orvik::Run(argv[1], argv[2], argv[3], std::atoi(argv[4]),
                      argc == 6 ? argv[5] : "killed-station");
}
