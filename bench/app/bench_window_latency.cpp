// How long the window thread keeps an event waiting while live mode runs
// against the simulated MV300 with real-time pauses: a probe thread posts a
// stamped event every 10 ms and the window thread notes how late each one is
// handled. Prints the 50th and 99th percentile and the worst case.
//
//   bench_window_latency [SECONDS [--window-thread] [--cursor]]
//
// SECONDS is 30 by default; --window-thread measures on the window thread
// itself, as the program did before the instrument had a thread of its own;
// --cursor sweeps the pointer across the graph every 10 ms meanwhile, so that
// the cursor readout is redrawn all the time (compare the measurements per
// second and the latencies with and without it).
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/gui/child_frame.h"
#include "app/gui/graph_view.h"
#include "app/gui/main_frame.h"
#include "base/clock.h"
#include "base/measurement_mode.h"
#include "collection/orvik_doc.h"
#include "latency_probe.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"
#include "simulator/simulated_instrument.h"

namespace {

using latency::LatencyProbe;
using latency::Percentile;
using latency::SteadyClock;

// Counts the refreshes of the collection: one per measurement in live mode.
class RefreshCounter : public orvik::DocumentObserver {
  public:
    int Count = 0;
    void OnDocumentUpdate(orvik::COrvikDoc&, orvik::DocumentObserver*,
                          const orvik::DocumentChange&) override {
        ++Count;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);

    // The instrument's own pauses follow the wall clock, as in the program.
    orvik::SystemClock clock;
    const std::unique_ptr<orvik::sim::SimulatedDriverPort> simulatorPort =
        orvik::sim::DefaultSimulatedInstrument(clock);
    orvik::sim::SimulatedDriverPort& simulator = *simulatorPort;
    orvik::StartOptions options{{}, "", true};
    const auto flag = [&](const char* name) {
        return std::any_of(argv + std::min(argc, 2), argv + argc,
                           [name](const char* arg) { return std::string(arg) == name; });
    };
    options.InstrumentThread = !flag("--window-thread");
    orvik::CMainFrame frame{options, simulator, clock};
    frame.Library().AddCriterion().Name = "SE 50";
    frame.Selector().FillInListOrder(frame.Library());
    frame.Selector().SelectIndex(0);
    frame.resize(1200, 800);
    frame.show();
    frame.StartInstrument();
    frame.ProcessCommandLine({});
    RefreshCounter refreshes;
    frame.ActiveDocument()->AddObserver(&refreshes);
    frame.Station().ToggleLiveMode();

    LatencyProbe probe;
    std::atomic<bool> running{true};
    std::thread poster([&] {
        while (running) {
            probe.Post(SteadyClock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    // The pointer moving over the graph, as an operator reads values off it.
    QTimer sweep;
    int column = 0;
    if (flag("--cursor")) {
        QWidget& graph = frame.ActiveChild()->Graph();
        QObject::connect(&sweep, &QTimer::timeout, [&] {
            column = (column + 7) % std::max(1, graph.width());
            const QPointF at(column, graph.height() / 2);
            QMouseEvent move(QEvent::MouseMove, at, graph.mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&graph, &move);
        });
        sweep.start(10);
    }
    QTimer::singleShot(seconds * 1000, &application, &QApplication::quit);
    application.exec();
    running = false;
    poster.join();

    frame.ActiveDocument()->RemoveObserver(&refreshes);
    std::printf(
        "window-thread event latency over %d s with live mode on%s (%zu probes, %d measurements)\n",
        seconds, flag("--cursor") ? " and the cursor moving" : "", probe.DelaysMs.size(),
        refreshes.Count);
    std::printf("  p50 %.2f ms   p99 %.2f ms   max %.2f ms   target p99 < 20 ms\n",
                Percentile(probe.DelaysMs, 0.50), Percentile(probe.DelaysMs, 0.99),
                Percentile(probe.DelaysMs, 1.0));
    return 0;
}
