// Record Test on the window thread, with and without the results database
// behind it (target: the database adds at most 1 ms). The collection grows
// as a scripted batch grows it; the recorder sends to an SQLite file on its
// own thread meanwhile, as the program's does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include <unistd.h>

#include "app/station_fakes.h"
#include "collection/test_tree.h"
#include "results/station_results.h"
#include "script/script.h"

namespace {

namespace fs = std::filesystem;

// The station of a scripted batch with the tree filing each record.
struct Batch : orvik::testing::StationRig, orvik::DocumentObserver {
    Batch() {
        library.AddCriterion().Name = "SE 50";
        selector.FillInListOrder(library);
        selector.SelectIndex(0);
        orvik::Script& script = library.AddScript();
        script.PromptForSerial = 0;
        script.JobNumber = "J-2209";
        for (const char* postfix : {"-SE", "-SE2"}) {
            script.AddElement().CriterionId = library.Criteria[0]->Id;
            script.Elements.back().Postfix = postfix;
        }
        document.AddObserver(this);
        station.Scripts().Start(document, script);
    }
    ~Batch() override { document.RemoveObserver(this); }
    void OnDocumentUpdate(orvik::COrvikDoc&, orvik::DocumentObserver*,
                          const orvik::DocumentChange& change) override {
        if (change.What == orvik::DocumentChange::Kind::TraceRecorded) {
            tree.InsertRecord(*change.Recorded);
        }
    }
    void Measure(int n) {
        instrument.level = 50.0 + std::sin(n);
        station.RunTest(document);
    }
    orvik::TestTree tree{document};
};

void RecordTests(benchmark::State& state, bool withResults) {
    const fs::path folder =
        fs::temp_directory_path() / ("orvik-bench-record-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    Batch batch;
    std::unique_ptr<orvik::results::ResultsRecorder> recorder;
    std::unique_ptr<orvik::results::StationResults> filing;
    if (withResults) {
        orvik::results::RecorderOptions options;
        options.OutboxPath = (folder / "outbox.sqlite").string();
        recorder = std::make_unique<orvik::results::ResultsRecorder>(
            *orvik::results::ParseResultsLocation((folder / "results.sqlite").string()), options);
        filing = std::make_unique<orvik::results::StationResults>(*recorder);
        batch.station.SetFiledTraceListener(filing.get());
    }
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        batch.Measure(++n);
        state.ResumeTiming();
        batch.station.RecordTest(batch.document);
    }
    state.counters["traces"] = static_cast<double>(n);
    if (recorder) {
        state.counters["stored_in_time"] = recorder->Flush(std::chrono::seconds(60));
    }
    batch.station.SetFiledTraceListener(nullptr);
    filing.reset();
    recorder.reset();
    fs::remove_all(folder);
}

void BM_RecordTest(benchmark::State& state) {
    RecordTests(state, false);
}
void BM_RecordTestWithResults(benchmark::State& state) {
    RecordTests(state, true);
}
BENCHMARK(BM_RecordTest)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();
BENCHMARK(BM_RecordTestWithResults)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
