// The Simulator menu's faults through the main window: the instrument
// unplugged and plugged in again, incomplete records, a request that times
// out; each is told as the real instrument's would be, and the next test
// after it measures again.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/main_frame.h"
#include "app/test_station.h"
#include "base/clock.h"
#include "collection/orvik_doc.h"
#include "menu_items.h"
#include "qt_environment.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"
#include "simulator/simulated_instrument.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class SimulatorMenu : public ::testing::Test {
  protected:
    SimulatorMenu() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        EXPECT_TRUE(library.Save(folder.File("criteria.dat")).Ok());
        frame.LoadCriteriaLibrary(folder.File("criteria.dat"));
        frame.StartInstrument();
        frame.ProcessCommandLine({});
        new sim::SimulatorMenuWidget(*frame.SimulatorMenu(), *simulator);
        emit frame.SelectorWidget()->activated(0);
        // Every message box is read and closed, as the operator would.
        QObject::connect(&answer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                told.push_back(box->windowTitle() + ": " + box->text());
                box->close();
            }
        });
        answer.start(20);
    }

    QAction& Item(const QString& text) {
        QAction* action = testing::MenuItem(*frame.SimulatorMenu(), text);
        EXPECT_NE(action, nullptr) << text.toStdString();
        return *action;
    }
    COrvikDoc& Document() { return frame.ActiveChild()->Document(); }
    // Runs a test; true when it measured the coupon. What the operator was
    // told is in `told`.
    bool RunTest() {
        told.clear();
        frame.Station().RunTest(Document());
        return Document().CurrentKind == CurrentTraceKind::Measurement;
    }

    testing::TemporaryFolder folder;
    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> simulator = sim::DefaultSimulatedInstrument(clock);
    CMainFrame frame{StartOptions{{}, "", true}, *simulator, clock};
    QTimer answer;
    QStringList told;
};

TEST_F(SimulatorMenu, UnplugAndPlugInAgain) {
    ASSERT_TRUE(RunTest());
    frame.SimulatorMenu()->aboutToShow();
    EXPECT_TRUE(Item("Unplug instrument").isEnabled());
    EXPECT_FALSE(Item("Plug instrument in again").isEnabled()) << "it is plugged in";

    Item("Unplug instrument").trigger();
    EXPECT_FALSE(simulator->InstrumentPresent());
    EXPECT_FALSE(Item("Unplug instrument").isEnabled());
    EXPECT_FALSE(RunTest());
    EXPECT_EQ(told, QStringList{"Device not found: Unable to open the TDR device"});

    Item("Plug instrument in again").trigger();
    EXPECT_TRUE(simulator->InstrumentPresent());
    EXPECT_TRUE(Item("Unplug instrument").isEnabled());
    EXPECT_TRUE(RunTest()) << "it comes back cold and gets its program again";
    EXPECT_TRUE(told.isEmpty()) << told.join('\n').toStdString();
}

TEST_F(SimulatorMenu, IncompleteRecordsUntilUnchecked) {
    QAction& incomplete = Item("Incomplete records");
    ASSERT_TRUE(incomplete.isCheckable());
    incomplete.trigger();
    for (int run = 0; run < 2; ++run) {
        EXPECT_FALSE(RunTest());
        EXPECT_EQ(told, QStringList{QString(kRunTestCaption) + ": " + kIncompleteRecordText});
    }
    incomplete.trigger();
    EXPECT_TRUE(RunTest());
    EXPECT_TRUE(told.isEmpty());
}

TEST_F(SimulatorMenu, NextRequestTimesOutOnce) {
    Item("Next request times out").trigger();
    EXPECT_FALSE(RunTest());
    EXPECT_EQ(told.size(), 1) << told.join('\n').toStdString();
    EXPECT_TRUE(RunTest()) << "only the next request";
    EXPECT_TRUE(told.isEmpty());
}

}  // namespace
}  // namespace orvik
