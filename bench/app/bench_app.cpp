// The operator's program as the operator waits for it: opening a large
// collection until its tree is shown, one Run Test with its refresh, and the
// Calibration dialog's chart redrawn after a Calibrate (target: under 2 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/gui/calibrate_dialog.h"
#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/station_fakes.h"
#include "chart/gui/xgraph_widget.h"
#include "collection/orvik_doc.h"
#include "instrument/calibration_session.h"
#include "instrument/instrument_station.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"
#include "simulator/simulated_instrument.h"

#include <fstream>

namespace {

std::string LargeCollection() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "orvik-bench-app-10000.tdr").string();
        orvik::COrvikDoc document;
        std::vector<double> values(750);
        for (int i = 0; i < 10000; ++i) {
            for (std::size_t k = 0; k < values.size(); ++k) {
                values[k] = 50.0 + std::sin(0.02 * static_cast<double>(k) + i);
            }
            auto trace = std::make_unique<orvik::TraceRecord>();
            trace->FillFromAcquisition(nullptr, values, 0);
            trace->Name = "Sample #: " + std::to_string(i + 1);
            document.AppendItem(std::move(trace));
        }
        if (!document.SaveAs(file)) {
            std::abort();  // nothing to measure without the file
        }
        return file;
    }();
    return path;
}

void BM_OpenCollectionUntilTreeShown(benchmark::State& state) {
    const std::string path = LargeCollection();
    orvik::testing::FakeInstrument instrument;
    orvik::VirtualClock clock;
    orvik::CMainFrame frame(orvik::StartOptions{}, instrument, clock);
    frame.resize(1200, 800);
    frame.show();
    for (auto _ : state) {
        orvik::CChildFrame* child = frame.OpenCollection(QString::fromStdString(path));
        QApplication::processEvents();  // the tree and graph paint
        state.PauseTiming();
        child->close();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenCollectionUntilTreeShown)->Unit(benchmark::kMillisecond)->UseRealTime();

// The program on the simulated MV300 with a virtual clock, one collection
// open and "SE 50" chosen; the window is shown so that refreshes paint.
struct SimulatedProgram {
    SimulatedProgram() {
        orvik::CriteriaLibrary& library = frame.Library();
        library.AddCriterion().Name = "SE 50";
        frame.Selector().FillInListOrder(library);
        frame.Selector().SelectIndex(0);
        frame.resize(1200, 800);
        frame.show();
        frame.StartInstrument();
        frame.ProcessCommandLine({});
        QApplication::processEvents();
    }
    orvik::VirtualClock clock;
    std::unique_ptr<orvik::sim::SimulatedDriverPort> simulatorPort =
        orvik::sim::DefaultSimulatedInstrument(clock);
    orvik::sim::SimulatedDriverPort& simulator = *simulatorPort;
    orvik::CMainFrame frame{orvik::StartOptions{{}, "", true}, simulator, clock};
};

// Run Test as a click does it: acquisition, processing, judging, and the
// graph and tree refreshed and painted.
void BM_RunTestWithRefresh(benchmark::State& state) {
    SimulatedProgram program;
    orvik::COrvikDoc& document = *program.frame.ActiveDocument();
    for (auto _ : state) {
        program.frame.Station().RunTest(document);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_RunTestWithRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();

long ResidentKilobytes() {
    std::ifstream status("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    status >> pages >> resident;
    return resident * 4;
}

// Live mode for 10,000 ticks (or the count given): the resident memory must
// not grow with them. The chart keeps up to 4,096 laid-out label texts and
// starts afresh when full, which bounds what the changing labels can take.
void BM_LiveModeSoak(benchmark::State& state) {
    const auto ticks = static_cast<int>(state.range(0));
    SimulatedProgram program;
    program.frame.Station().SetLiveMode(true);
    for (int i = 0; i < 200; ++i) {  // caches and buffers settle first
        program.frame.Station().LiveModeTick();
        QApplication::processEvents();
    }
    const long before = ResidentKilobytes();
    long halfway = 0;
    for (auto _ : state) {
        for (int i = 0; i < ticks; ++i) {
            program.frame.Station().LiveModeTick();
            QApplication::processEvents();
            if (i == ticks / 2) {
                halfway = ResidentKilobytes();
            }
        }
    }
    const long after = ResidentKilobytes();
    state.counters["rss_halfway_kb"] = static_cast<double>(halfway);
    state.counters["rss_before_kb"] = static_cast<double>(before);
    state.counters["rss_after_kb"] = static_cast<double>(after);
    state.counters["growth_kb"] = static_cast<double>(after - before);
}
BENCHMARK(BM_LiveModeSoak)->Arg(10000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_CalibrationChartRedraw(benchmark::State& state) {
    orvik::VirtualClock clock;
    const auto port = orvik::sim::DefaultSimulatedInstrument(clock);
    orvik::testing::ScriptedPrompts prompts;
    orvik::InstrumentStation station(*port, clock, prompts);
    station.StartUp({});
    station.SetDumpPath("");
    orvik::CalibrationSession session(station);
    orvik::CalibrateDialog dialog(session, nullptr, prompts,
                                  [](const std::function<void()>& work) { work(); });
    port->Instrument().Attach(orvik::MeasurementMode::SingleEnded,
                              orvik::sim::CableAttachment::TerminatedAirline(50.0, 4.0));
    dialog.OnVerify();
    dialog.show();
    QApplication::processEvents();
    orvik::XGraphWidget& chart = dialog.Chart();
    for (auto _ : state) {
        chart.repaint();
    }
}
BENCHMARK(BM_CalibrationChartRedraw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
