// Action > Statistics: the table per test, the charts of the chosen test,
// the work off the window thread, and a refresh that picks up what was
// recorded meanwhile.
#include <gtest/gtest.h>
#include <QAction>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <future>
#include <thread>

#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "app/gui/statistics_window.h"
#include "chart/gui/xgraph_widget.h"
#include "qt_environment.h"
#include "results/measurement_identity.h"
#include "results/results_store.h"
#include "station_fakes.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class StatisticsWindowTest : public ::testing::Test {
  protected:
    StatisticsWindowTest() {
        for (const double average : {50.12, 49.87, 50.31, 50.05, 49.66, 50.48, 50.22, 49.94}) {
            Record("-SE", 1, average, 45.0, 55.0);
        }
        for (const double average : {100.1, 99.9, 100.1, 99.9, 108.0, 99.9, 100.1, 99.9}) {
            Record("-DIFF", 2, average, 90.0, 110.0);
        }
    }

    void Record(const std::string& test, int position, double average, double low, double high) {
        const results::Measurement m = Made(test, position, average, low, high);
        results::StoreProblem problem;
        auto store = results::OpenResultsStore(location, problem);
        ASSERT_TRUE(store.Ok());
        ASSERT_TRUE(store.Value()->Store(std::span(&m, 1)).Ok());
    }

    // The next measurement of job J-7, one second after the one before.
    results::Measurement Made(const std::string& test, int position, double average, double low,
                              double high) {
        results::Measurement m;
        const std::string key = "window-" + std::to_string(count_);
        m.Uuid = results::NameBasedUuid(
            std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()));
        m.Run = results::ScriptRunInfo{"Lot", "Acme", "J-7", "3", "kim", 1790000000};
        m.Test = test;
        m.Coupon = std::to_string(count_);
        m.CollectionFile = folder.File("lot.tdr");
        m.ElementPosition = position;
        m.Name = "C" + std::to_string(count_) + test;
        m.Time = 1790000000 + count_++;
        m.Average = average;
        m.Judged.MinimumImpedance = low;
        m.Judged.MaximumImpedance = high;
        m.Judged.TargetImpedance = (low + high) / 2;
        m.Passed = true;
        return m;
    }

    // Waits for the window's outcome; the window thread stays free meanwhile.
    static void WaitFor(StatisticsWindow& window) {
        QSignalSpy computed(&window, &StatisticsWindow::Computed);
        ASSERT_TRUE(computed.wait(10000)) << window.StatusText().toStdString();
    }

    static QString Cell(StatisticsWindow& window, int row, int column) {
        QTableWidgetItem* item = window.Table().item(row, column);
        return item ? item->text() : QString("(empty)");
    }

    testing::TemporaryFolder folder;
    const results::ResultsLocation location =
        *results::ParseResultsLocation(folder.File("results.sqlite"));
    int count_ = 0;
};

TEST_F(StatisticsWindowTest, TablePerTestAndTheChosenTestsCharts) {
    StatisticsWindow window(location);
    window.SetSelection("J-7");
    WaitFor(window);
    ASSERT_EQ(window.Table().rowCount(), 2);
    EXPECT_EQ(Cell(window, 0, 0), "-SE");
    EXPECT_EQ(Cell(window, 0, 2), "8");
    EXPECT_EQ(Cell(window, 0, 10), "0");
    EXPECT_EQ(Cell(window, 1, 0), "-DIFF");
    EXPECT_EQ(Cell(window, 1, 10), "1");  // the coupon at 108 ohms

    // The first test is shown: its limits and target, each a line and its
    // name, and over them its histogram's bars (4 classes for 8 measurements,
    // counting them all).
    const auto& bands = window.Histogram().XAxisAt(0).Bands;
    ASSERT_EQ(bands.size(), 10u);
    double counted = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        counted += bands[i].YTo;
    }
    EXPECT_EQ(counted, 8.0);
    std::vector<std::pair<std::string, double>> named;
    for (std::size_t i = 1; i < 6; i += 2) {
        named.emplace_back(bands[i].Text, (bands[i - 1].XFrom + bands[i - 1].XTo) / 2);
    }
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(named[0].first, "LSL");
    EXPECT_NEAR(named[0].second, 45.0, 1e-9);
    EXPECT_EQ(named[1].first, "USL");
    EXPECT_NEAR(named[1].second, 55.0, 1e-9);
    EXPECT_EQ(named[2].first, "Target");
    EXPECT_NEAR(named[2].second, 50.0, 1e-9);

    window.Table().setCurrentCell(1, 0);
    XGraphWidget& chart = window.ControlChart();
    ASSERT_EQ(chart.CurveCount(), 5);
    EXPECT_EQ(chart.CurveAt(0).Count(), 8);
    // Its moving ranges: 0.2 between neighbours, 8.1 on either side of the
    // far coupon, just above the upper limit, 3.267 times their mean (17.2 / 7).
    XGraphWidget& ranges = window.RangeChart();
    ASSERT_EQ(ranges.CurveCount(), 4);
    EXPECT_EQ(ranges.CurveAt(0).Count(), 7);
    EXPECT_NEAR(ranges.CurveAt(2).PointAt(0).Y, 3.267 * 17.2 / 7, 1e-9);
    ASSERT_EQ(ranges.CurveAt(3).Count(), 2);
    EXPECT_EQ(ranges.CurveAt(3).PointAt(0).X, 5.0);
    EXPECT_EQ(ranges.CurveAt(3).PointAt(1).X, 6.0);
    const CXGraphDataSerie& flagged = chart.CurveAt(4);
    ASSERT_EQ(flagged.Count(), 1);
    EXPECT_EQ(flagged.PointAt(0), (CurvePoint{5.0, 108.0}));

    // Clicking the flagged point names its coupon and trace, and asks for its
    // collection once the file is at hand.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    chart.repaint();
    const QPoint point(chart.XAxisAt(0).Mapping().Map(5.0), chart.YAxisAt(0).Mapping().Map(108.0));
    QSignalSpy opened(&window, &StatisticsWindow::OpenCollectionAsked);
    QTest::mouseClick(&chart, Qt::LeftButton, {}, point + QPoint(2, -2));
    EXPECT_EQ(window.StatusText().toStdString(),
              "Coupon 12, trace C12-DIFF, filed in " + folder.File("lot.tdr") + " (not here)");
    EXPECT_EQ(opened.size(), 0);
    testing::WriteFile(folder.File("lot.tdr"), std::vector<std::uint8_t>{1, 2, 3});
    QTest::mouseClick(&chart, Qt::LeftButton, {}, point + QPoint(2, -2));
    EXPECT_EQ(window.StatusText().toStdString(),
              "Coupon 12, trace C12-DIFF, in " + folder.File("lot.tdr"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front().front().toString().toStdString(), folder.File("lot.tdr"));
    QTest::mouseClick(&chart, Qt::LeftButton, {}, point + QPoint(0, 40));  // no point there
    EXPECT_EQ(opened.size(), 1);
}

// A database that answers only when the test lets it (or after five seconds).
class HeldStore : public results::ResultsStore {
  public:
    HeldStore(std::shared_future<void> release, std::unique_ptr<results::ResultsStore> real)
        : release_(std::move(release)), real_(std::move(real)) {}
    Result<results::StoreCounts> Store(std::span<const results::Measurement> m) override {
        return real_->Store(m);
    }
    Result<std::vector<results::Measurement>> Query(
        const results::MeasurementFilter& filter) override {
        release_.wait_for(std::chrono::seconds(5));
        return real_->Query(filter);
    }
    results::StoreProblem LastProblem() const override { return real_->LastProblem(); }

  private:
    std::shared_future<void> release_;
    std::unique_ptr<results::ResultsStore> real_;
};

TEST_F(StatisticsWindowTest, TheWindowAnswersWhileTheDatabaseIsRead) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    StatisticsWindow window(
        [&](results::Abandon) -> Result<std::unique_ptr<results::ResultsStore>> {
            results::StoreProblem problem;
            auto real = results::OpenResultsStore(location, problem);
            return std::unique_ptr<results::ResultsStore>(
                std::make_unique<HeldStore>(released, std::move(*real)));
        });
    window.SetSelection("J-7");
    bool answered = false;
    QTimer::singleShot(0, &window, [&] { answered = true; });
    QCoreApplication::processEvents();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(window.IsComputing());
    EXPECT_EQ(window.StatusText(), "Reading the results database...");
    release.set_value();
    WaitFor(window);
    EXPECT_EQ(window.Table().rowCount(), 2);
}

// Closing while the database keeps the worker waiting gives the wait up.
TEST_F(StatisticsWindowTest, ClosingGivesUpAWaitForTheDatabase) {
    const auto started = std::chrono::steady_clock::now();
    {
        StatisticsWindow window(
            [](results::Abandon abandon) -> Result<std::unique_ptr<results::ResultsStore>> {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!abandon->load() && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                return Failure{"The database did not answer.", ""};
            });
        window.SetSelection("J-7");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(StatisticsWindowTest, ARefreshAskedWhileComputingFollowsWithWhatWasRecorded) {
    StatisticsWindow window(location);
    window.SetSelection("J-7", "-SE");
    window.Refresh();
    Record("-SE", 1, 50.02, 45.0, 55.0);
    WaitFor(window);
    WaitFor(window);
    ASSERT_EQ(window.Table().rowCount(), 1);
    EXPECT_EQ(Cell(window, 0, 2), "9");
    EXPECT_FALSE(window.IsComputing());
}

// The measurements were taken a second apart from 2026-09-21 14:13:20 UTC.
TEST_F(StatisticsWindowTest, SinceTakesInWhatWasMeasuredFromThatDayOrMoment) {
    StatisticsWindow window(location);
    const struct {
        const char* since;
        int seRows;  // -SE measurements taken in; -1: the text is no date
    } cases[] = {
        {"", 8},
        {"2026-09-21", 8},
        {"2026-09-21T14:13:25", 3},
        {"2026-09-21T14:13:25Z", 3},
        {" 2026-09-22 ", 0},
        {"21/09/2026", -1},
        {"yesterday", -1},
    };
    for (const auto& c : cases) {
        window.SetSelection("J-7", "-SE", c.since);
        if (c.seRows < 0) {
            EXPECT_FALSE(window.IsComputing()) << c.since;
            EXPECT_TRUE(window.StatusText().startsWith("Write the Since date")) << c.since;
            continue;
        }
        WaitFor(window);
        EXPECT_EQ(window.Table().rowCount(), c.seRows > 0 ? 1 : 0) << c.since;
        if (c.seRows > 0) {
            EXPECT_EQ(Cell(window, 0, 2), QString::number(c.seRows)) << c.since;
        }
    }
}

// The station's recorder says when it has stored measurements: the window
// shows them at once, long before its clock would have it read again.
TEST_F(StatisticsWindowTest, WhatTheStationStoresShowsWithoutWaitingForTheClock) {
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
    frame.UseResults(location, folder.File("outbox.sqlite"));
    for (QAction* action : frame.findChildren<QAction*>()) {
        if (action->text().remove(QChar('&')) == "Statistics...") {
            action->trigger();
        }
    }
    auto* window = frame.findChild<StatisticsWindow*>();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    window->SetSelection("J-7", "-SE");
    WaitFor(*window);
    ASSERT_EQ(Cell(*window, 0, 2), "8");
    QSignalSpy computed(window, &StatisticsWindow::Computed);
    frame.Results()->Recorder().Record(Made("-SE", 1, 50.01, 45.0, 55.0));
    ASSERT_TRUE(computed.wait(static_cast<int>(StatisticsWindow::kRefreshMs / 2)));
    EXPECT_EQ(Cell(*window, 0, 2), "9");
}

TEST_F(StatisticsWindowTest, ADatabaseThatCannotBeOpenedIsTold) {
    StatisticsWindow window(*results::ParseResultsLocation(folder.File("no/such/folder/r.sqlite")));
    window.SetSelection("J-7");
    WaitFor(window);
    EXPECT_EQ(window.Table().rowCount(), 0);
    EXPECT_FALSE(window.StatusText().isEmpty());
    EXPECT_FALSE(window.StatusText().startsWith("Reading"));
}

}  // namespace
}  // namespace orvik
