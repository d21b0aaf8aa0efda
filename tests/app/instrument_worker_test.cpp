// Instrument work on its own thread: the window thread hands it over and
// gets the measurement back, prompts cross over to the window thread, and
// nothing waits forever when the program closes.
#include "app/gui/instrument_worker.h"

#include <gtest/gtest.h>
#include <QPointer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "qt_environment.h"
#include "station_fakes.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// Notes the thread each measurement ran on. While `held`, a measurement
// waits (ten seconds at most) as a slow instrument would.
class ThreadNotingInstrument : public testing::FakeInstrument {
  public:
    MeasuredProfile MeasureProfile(MeasurementMode measuredMode) override {
        thread = QThread::currentThread();
        for (int waited = 0; held && waited < 10000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return FakeInstrument::MeasureProfile(measuredMode);
    }
    std::atomic<QThread*> thread{nullptr};
    std::atomic<bool> held{false};
};

// The main window with work on the worker thread, one collection open and
// "SE 50" chosen.
struct ThreadedProgram {
    ThreadedProgram() {
        frame.Library().AddCriterion().Name = "SE 50";
        frame.Selector().FillInListOrder(frame.Library());
        frame.Selector().SelectIndex(0);
        frame.ProcessCommandLine({});
    }
    static StartOptions Options() {
        StartOptions options;
        options.InstrumentThread = true;
        return options;
    }
    ThreadNotingInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{Options(), instrument, clock};
};

TEST(InstrumentThread, RunTestMeasuresOnTheWorkerAndFillsTheTraceOnTheWindowThread) {
    ThreadedProgram program;
    ThreadNotingInstrument& instrument = program.instrument;
    CMainFrame& frame = program.frame;
    COrvikDoc& document = *frame.ActiveDocument();
    TestStation& station = frame.Station();

    station.RunTest(document);
    EXPECT_TRUE(station.InstrumentBusy());
    station.RunTest(document);  // ignored: one measurement at a time
    station.SetLiveMode(true);
    station.LiveModeTick();  // skipped while busy

    QTRY_VERIFY_WITH_TIMEOUT(!station.InstrumentBusy(), 10000);
    EXPECT_EQ(instrument.acquisitions, 1);
    EXPECT_NE(instrument.thread.load(), nullptr);
    EXPECT_NE(instrument.thread.load(), QThread::currentThread());
    ASSERT_EQ(document.TraceTemplate.SampleCount(), 750);
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 50.0);
    EXPECT_TRUE(document.TraceTemplate.Passed);
}

TEST(InstrumentThread, AMeasurementEndingAfterItsCollectionClosedGoesNowhere) {
    ThreadedProgram program;
    ThreadNotingInstrument& instrument = program.instrument;
    CMainFrame& frame = program.frame;

    frame.Station().RunTest(*frame.ActiveDocument());
    frame.ActiveChild()->close();  // the window closes while the worker measures
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Station().InstrumentBusy() && frame.Children().isEmpty(),
                             10000);
    EXPECT_EQ(instrument.acquisitions, 1);
    EXPECT_EQ(frame.ActiveDocument(), nullptr);
}

// The collection is closed and gone before the worker's measurement ends:
// the measurement must not reach it.
TEST(InstrumentThread, AMeasurementEndingAfterItsCollectionWasDeletedGoesNowhere) {
    ThreadedProgram program;
    CMainFrame& frame = program.frame;
    program.instrument.held = true;
    frame.Station().RunTest(*frame.ActiveDocument());
    QTRY_VERIFY_WITH_TIMEOUT(program.instrument.thread.load() != nullptr, 10000);
    QPointer<CChildFrame> child = frame.ActiveChild();
    child->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(child.isNull());
    program.instrument.held = false;
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Station().InstrumentBusy(), 10000);
    EXPECT_EQ(program.instrument.acquisitions, 1);
}

// Notes the thread each prompt was shown on.
class ThreadNotingPrompts : public testing::ScriptedPrompts {
  public:
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        shownOn = QThread::currentThread();
        return ScriptedPrompts::AskYesNo(text, caption);
    }
    QThread* shownOn = nullptr;
};

TEST(InstrumentThread, PromptsFromTheWorkerAreShownOnTheWindowThread) {
    ThreadNotingPrompts window;
    window.yesNoAnswers = {true};
    WindowThreadPrompts prompts(window);
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = prompts.AskYesNo("Retry?", "Error") ? 1 : 0; });
    QTRY_VERIFY_WITH_TIMEOUT(answer != -1, 10000);
    worker.join();
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(window.shownOn, QThread::currentThread());
    ASSERT_EQ(window.questions.size(), 1u);
    EXPECT_EQ(window.questions[0].text, "Retry?");
}

TEST(InstrumentThread, ClosingLetsGoOfAWorkerWaitingForAnAnswer) {
    testing::ScriptedPrompts window;
    window.yesNoAnswers = {true};
    WindowThreadPrompts prompts(window);
    std::atomic<bool> done{false};
    bool answer = true;
    std::thread worker([&] {
        answer = prompts.AskYesNo("Retry?", "Error");
        done = true;
    });
    // The window thread never returns to its event loop, as when the program
    // closes: closing must still release the worker.
    while (!done) {
        prompts.Close();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_FALSE(answer);
    EXPECT_TRUE(window.questions.empty());
    EXPECT_TRUE(prompts.AskYesNo("Again?", "Error"));  // on the window thread it passes through
    EXPECT_EQ(window.questions.size(), 1u);
}

TEST(InstrumentThread, WorkRunsInOrderAndAnEscapingExceptionEndsOnlyItsPiece) {
    ThreadedInstrumentWork work;
    std::vector<int> order;
    int finished = 0;
    work.Run([&] { order.push_back(1); }, [&] { ++finished; });
    work.Run([] { throw std::runtime_error("lost cable"); }, [&] { ++finished; });
    work.Run([&] { order.push_back(3); }, [&] { ++finished; });
    QTRY_COMPARE_WITH_TIMEOUT(finished, 3, 10000);
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
}

}  // namespace
}  // namespace orvik
