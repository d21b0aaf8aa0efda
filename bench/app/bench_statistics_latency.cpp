// How long the window thread keeps an event waiting while the Statistics
// window works through a job of 100,000 measurements: the window reads and
// computes the job again and again (as it does when measurements arrive),
// the quality engineer goes from test to test in the table meanwhile, and a
// probe thread posts a stamped event every 5 ms whose delay the window thread
// notes. Prints the 50th and 99th percentile and the worst case.
//
//   bench_statistics_latency [SECONDS]
//
// SECONDS is 20 by default. The database is made once in the temporary
// folder (the same one bench_lot_statistics uses).
#include <QApplication>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/gui/statistics_window.h"
#include "latency_probe.h"
#include "stats_job.h"

using latency::LatencyProbe;
using latency::Percentile;
using latency::SteadyClock;

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    orvik::bench::FilledStore();  // made before the clock starts

    orvik::StatisticsWindow window(
        *orvik::results::ParseResultsLocation(orvik::bench::StatsDatabasePath()));
    window.show();
    int computed = 0;
    QObject::connect(&window, &orvik::StatisticsWindow::Computed, &window, [&] {
        ++computed;
        window.Refresh();  // as if measurements kept arriving
    });
    window.SetSelection("J-STATS");
    // The engineer looks at each test in turn, twice a second.
    QTimer choose;
    QObject::connect(&choose, &QTimer::timeout, &window, [&] {
        QTableWidget& table = window.Table();
        if (table.rowCount() > 0) {
            table.setCurrentCell((table.currentRow() + 1) % table.rowCount(), 0);
        }
    });
    choose.start(500);

    LatencyProbe probe;
    std::atomic<bool> running{true};
    std::thread poster([&] {
        while (running) {
            probe.Post(SteadyClock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    QTimer::singleShot(seconds * 1000, &application, &QApplication::quit);
    application.exec();
    running = false;
    poster.join();

    std::printf(
        "window-thread event latency over %d s with the Statistics window on 100,000 "
        "measurements (%zu probes, %d computations)\n",
        seconds, probe.DelaysMs.size(), computed);
    std::printf("  p50 %.2f ms   p99 %.2f ms   max %.2f ms   target p99 < 20 ms\n",
                Percentile(probe.DelaysMs, 0.50), Percentile(probe.DelaysMs, 0.99),
                Percentile(probe.DelaysMs, 1.0));
    return 0;
}
