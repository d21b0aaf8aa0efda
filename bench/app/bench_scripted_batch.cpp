// A scripted batch as `orvik-cli run-script` runs it: 1,000 coupons of four
// tests on the simulated MV300 with a virtual clock, through the station, the
// run flow and the test tree, then the collection saved. Target: under 20 s
// for the whole batch. No step may grow with the collection, so the time per
// coupon of the first and the last 100 coupons is reported; the heap may
// grow only by the recorded traces, so its growth is reported beside the
// bytes of their samples.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <filesystem>

#include "app/test_station.h"
#include "base/clock.h"
#include "base/operator_prompts.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "instrument/instrument_station.h"
#include "simulator/coupon_profile.h"
#include "simulator/simulated_driver_port.h"

namespace {

using namespace orvik;
using Seconds = std::chrono::duration<double>;

class BatchPrompts : public OperatorPrompts {
  public:
    void Message(const std::string&, const std::string&, PromptIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return std::nullopt; }
};

class BatchHost : public StationHost {
  public:
    explicit BatchHost(COrvikDoc& document) : document_(document) {}
    COrvikDoc* ActiveDocument() override { return &document_; }
    void PostApplySelectedCriterion() override { station->ApplySelectedCriterion(document_); }
    TestStation* station = nullptr;

  private:
    COrvikDoc& document_;
};

class TreeWindow : public DocumentObserver {
  public:
    explicit TreeWindow(COrvikDoc& document) : tree_(document) { tree_.Rebuild(); }
    void OnDocumentUpdate(COrvikDoc&, DocumentObserver*, const DocumentChange& change) override {
        if (change.What == DocumentChange::Kind::TraceRecorded && change.Recorded != nullptr) {
            tree_.InsertRecord(*change.Recorded);
        }
    }

  private:
    TestTree tree_;
};

// Four tests, two single-ended and two differential, numbered automatically.
Script& FourTestScript(CriteriaLibrary& library) {
    Criterion& single = library.AddCriterion();
    single.Name = "SE 50";
    Criterion& differential = library.AddCriterion();
    differential.Name = "Diff 100";
    differential.TargetImpedance = 100;
    differential.RecomputeLimits();
    differential.DoubleEnded = 1;
    Script& script = library.AddScript();
    script.PromptForSerial = 0;
    script.Prefix = "LOT-";
    for (const char* postfix : {"A", "B", "C", "D"}) {
        ScriptElement& element = script.AddElement();
        element.CriterionId = postfix[0] < 'C' ? single.Id : differential.Id;
        element.Postfix = postfix;
    }
    return script;
}

std::size_t HeapBytes() {
    return mallinfo2().uordblks;
}

void BM_ScriptedBatch(benchmark::State& state) {
    const auto coupons = static_cast<int>(state.range(0));
    const auto folder = std::filesystem::temp_directory_path();
    for (auto _ : state) {
        const std::size_t heapBefore = HeapBytes();
        VirtualClock clock;
        sim::SimulatorOptions options;
        options.instrument.warm = true;
        sim::SimulatedDriverPort port(clock, options);
        port.Instrument().Attach(MeasurementMode::SingleEnded,
                                 sim::CableAttachment::Coupon(*sim::CouponProfile::Parse("50")));
        port.Instrument().Attach(MeasurementMode::Differential,
                                 sim::CableAttachment::Coupon(*sim::CouponProfile::Parse("100")));
        BatchPrompts prompts;
        InstrumentStation instrument(port, clock, prompts);
        instrument.StartUp({});
        instrument.SetDumpPath((folder / "orvik-bench-batch-TDR_Data.csv").string());
        CriteriaLibrary library;
        Script& script = FourTestScript(library);
        CriteriaSelectorModel selector;
        selector.FillInListOrder(library);
        COrvikDoc document;
        BatchHost host(document);
        TestStation station(library, selector, prompts, clock, host, instrument);
        host.station = &station;
        TreeWindow tree(document);
        document.AddObserver(&tree);
        const std::size_t heapStart = HeapBytes();

        const auto start = std::chrono::steady_clock::now();
        station.Scripts().Start(document, script);
        Seconds first100{};
        Seconds last100{};
        for (int coupon = 0; coupon < coupons; ++coupon) {
            const auto couponStart = std::chrono::steady_clock::now();
            if (coupon + 1 == coupons) {
                station.Scripts().StopAtCouponEnd();
            }
            for (std::size_t test = 0; test < script.Elements.size(); ++test) {
                station.RunTest(document);
                station.RecordTest(document);
            }
            const Seconds spent = std::chrono::steady_clock::now() - couponStart;
            if (coupon < 100) {
                first100 += spent;
            }
            if (coupon >= coupons - 100) {
                last100 += spent;
            }
        }
        const std::size_t heapAfterRun = HeapBytes();
        const std::string out = (folder / "orvik-bench-batch.tdr").string();
        if (!document.SaveAs(out)) {
            state.SkipWithError("the collection was not saved");
        }
        const Seconds total = std::chrono::steady_clock::now() - start;
        document.RemoveObserver(&tree);

        std::size_t sampleBytes = 0;
        std::size_t traces = 0;
        for (const auto& item : document.Items()) {
            if (const auto* trace = dynamic_cast<const TraceRecord*>(item.get())) {
                sampleBytes += trace->Samples.size() * sizeof(TraceSample);
                ++traces;
            }
        }
        state.counters["traces"] = static_cast<double>(traces);
        state.counters["serial_counter"] = script.SerialCounter;
        state.counters["batch_s"] = total.count();
        state.counters["first100_ms_per_coupon"] = first100.count() * 1000 / 100;
        state.counters["last100_ms_per_coupon"] = last100.count() * 1000 / 100;
        state.counters["heap_setup_mb"] = (double(heapStart) - double(heapBefore)) / 1e6;
        state.counters["heap_growth_mb"] = (double(heapAfterRun) - double(heapStart)) / 1e6;
        state.counters["sample_bytes_mb"] = double(sampleBytes) / 1e6;
        std::filesystem::remove(out);
    }
}
BENCHMARK(BM_ScriptedBatch)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
