#include "app/gui/main_frame.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <array>

#include "app/gui/browse_view.h"
#include "app/gui/calibrate_dialog.h"
#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/graph_view.h"
#include "base/measurement_mode.h"
#include "chart/coloured_text.h"
#include "chart/gui/vivid_tree_widget.h"
#include "chart/gui/xgraph_widget.h"
#include "comma_locale.h"
#include "criteria/gui/criteria_dialogs.h"
#include "criteria/gui/scripts_dialog.h"
#include "instrument/no_devices_port.h"
#include "main_window_fixture.h"
#include "qt_environment.h"
#include "script/script.h"
#include "simulator/coupon_profile.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"
#include "simulator/simulated_instrument.h"
#include "station_fakes.h"
#include "test_files.h"

namespace orvik {
namespace {

TEST_F(MainWindow, StartsWithOneEmptyCollectionAndNoSelection) {
    ASSERT_EQ(frame.Children().size(), 1);
    EXPECT_EQ(frame.SelectorWidget()->count(), 2);
    EXPECT_EQ(frame.SelectorWidget()->itemText(0), "SE 50");
    EXPECT_EQ(frame.SelectorWidget()->currentIndex(), -1);
    EXPECT_EQ(Tree().topLevelItemCount(), 0);
    EXPECT_EQ(Child().Document().TraceTemplate.SampleCount(), 250) << "a blank trace";
}

TEST_F(MainWindow, ClickRunsAndRightClickRecords) {
    Choose(0);
    EXPECT_EQ(Child().Document().TraceTemplate.Criteria.Name, "SE 50");
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    EXPECT_EQ(instrument.acquisitions, 1);
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    const QString text = Tree().topLevelItem(0)->text(0);
    EXPECT_EQ(PlainText(text.toLatin1().toStdString()), "SD - Sample #: 1,  50.00   PASS");
    EXPECT_TRUE(Child().Document().IsModified());
    EXPECT_EQ(Tree().currentItem(), nullptr) << "a refresh leaves nothing selected";
}

TEST_F(MainWindow, SavedCollectionReopensWithItsTree) {
    Choose(1);
    instrument.level = 101;
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    const std::string path = folder.File("run.tdr");
    Child().Document().SetPath(path);
    ASSERT_TRUE(frame.SaveCollection(Child(), false));
    EXPECT_FALSE(Child().Document().IsModified());
    Child().close();
    QApplication::processEvents();
    EXPECT_TRUE(frame.Children().isEmpty());

    ASSERT_NE(frame.OpenCollection(QString::fromStdString(path)), nullptr);
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    EXPECT_EQ(PlainText(Tree().topLevelItem(0)->text(0).toLatin1().toStdString()),
              "DD - Sample #: 1,  101.00   PASS");
}

TEST_F(MainWindow, LiveModeRunsOnTheTimerAndTheFirstTreeClickStopsIt) {
    Choose(0);
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    frame.Station().ToggleLiveMode();
    QTest::qWait(350);
    EXPECT_GE(instrument.acquisitions, 3);
    Tree().setCurrentItem(Tree().topLevelItem(0));
    EXPECT_FALSE(frame.Station().LiveMode());
}

// Trigger input 2 (and 1) reach the program through the 100 ms poll, which
// also runs while the Trace Name prompt is open: they must not open a second
// prompt or file the same measurement twice.
TEST_F(MainWindow, TriggersWhileTheTraceNamePromptIsOpenAreIgnored) {
    Choose(0);
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    frame.Station().TogglePromptForTraceName();
    QList<QWidget*> promptsSeen;
    QTimer trigger;
    trigger.setSingleShot(true);
    QObject::connect(&trigger, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != nullptr) {
            frame.TriggerRecordTest();
            frame.TriggerRunTest();
        }
    });
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            if (!promptsSeen.contains(dialog)) {
                promptsSeen.append(dialog);
            }
            dialog->accept();
        }
    });
    trigger.start(30);
    answer.start(80);
    Command("Record Test")->trigger();
    EXPECT_EQ(promptsSeen.size(), 1) << "no second prompt over the first";
    EXPECT_EQ(Child().Document().Items().size(), 1u);
    EXPECT_EQ(instrument.acquisitions, 1) << "no measurement under the open prompt";
    frame.TriggerRecordTest();
    EXPECT_EQ(Child().Document().Items().size(), 1u) << "one record per Run Test";
    EXPECT_EQ(promptsSeen.size(), 1);
}

// Before any measurement a chosen criterion shows its limits but no numbers
// of a measurement and no verdict; Record Test then files nothing.
TEST_F(MainWindow, EmptyGraphShowsNoVerdictAndRecordsNothing) {
    Choose(0);
    const CGraphView& graph = Child().Graph();
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Verdict).Text, "");
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Average).Text, "");
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Name).Text, kNoMeasurementText);
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::CriterionName).Text, "Criteria: SE 50");
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    Command("Record Test")->trigger();
    EXPECT_TRUE(Child().Document().Items().empty());
    EXPECT_EQ(Tree().topLevelItemCount(), 0);
    EXPECT_FALSE(Child().Document().IsModified());
}

// A failed Run Test says so on the graph and leaves nothing to record.
TEST_F(MainWindow, FailedTestIsShownAndCannotBeRecorded) {
    Choose(0);
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    instrument.failing = true;
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    const CGraphView& graph = Child().Graph();
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Name).Text, kFailedTestText);
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Verdict).Text, "");
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    EXPECT_TRUE(Child().Document().Items().empty());
}

// A script resumed from the tree stops with the Scripted Tests command.
TEST_F(MainWindow, ScriptedTestsStopsAScriptResumedFromTheTree) {
    COrvikDoc& document = Child().Document();
    auto script = std::make_unique<Script>();
    script->Description = "Lot";
    script->PromptForSerial = 0;  // numbered automatically: resuming asks nothing
    script->AddElement().CriterionId = frame.Library().Criteria[0]->Id;
    document.AppendItem(std::move(script));
    Child().Browse().InitialUpdate();
    Tree().setCurrentItem(Tree().topLevelItem(0));
    QTest::mouseClick(Child().Browse().Tree()->viewport(), Qt::RightButton);
    ASSERT_NE(document.ActiveScript, nullptr);
    ASSERT_NE(Child().Graph().ScriptPrompt(), nullptr);
    QAction* scripted = Command("Scripted Tests");
    ASSERT_NE(scripted, nullptr);
    QTest::qWait(150);  // the command states follow on the next tick
    ASSERT_TRUE(scripted->isEnabled());
    scripted->trigger();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(frame.SelectorWidget()->isEnabled());
    EXPECT_EQ(Child().Graph().ScriptPrompt(), nullptr);
    QTest::qWait(150);
    EXPECT_TRUE(scripted->isEnabled()) << "with nothing running it starts a run";
}

// Scripted Tests starts the script that Run chose, saves the library either
// way, stops the run on the next use and needs a collection to run in.
TEST_F(MainWindow, ScriptedTestsRunsTheChosenScriptAndStopsIt) {
    QAction* scripted = Command("Scripted Tests");
    ASSERT_NE(scripted, nullptr);
    QTest::qWait(150);
    ASSERT_TRUE(scripted->isEnabled());
    frame.Station().SetLiveMode(true);
    frame.ShowScriptsDialog = [this](ScriptsDialog& dialog) {
        EXPECT_FALSE(frame.Station().LiveMode());
        dialog.show();
        QTest::mouseClick(dialog.Button("Create"), Qt::LeftButton);
        QTest::mouseClick(dialog.AutoNumberButton(), Qt::LeftButton);
        QTest::mouseClick(dialog.Button("Add"), Qt::LeftButton);
        const int diff = dialog.CriteriaBox()->findText("Diff 100");
        emit dialog.CriteriaBox()->activated(diff);
        QTest::keyClicks(dialog.Field(ScriptField::Postfix), "D");
        QTest::mouseClick(dialog.Button("Run"), Qt::LeftButton);
    };
    scripted->trigger();
    COrvikDoc& document = Child().Document();
    ASSERT_NE(document.ActiveScript, nullptr);
    EXPECT_EQ(document.ActiveScript, frame.Library().Scripts[0].get());
    EXPECT_TRUE(frame.ScriptRunsInAnyCollection(*frame.Library().Scripts[0]));
    EXPECT_FALSE(frame.SelectorWidget()->isEnabled());
    EXPECT_NE(Child().Graph().ScriptPrompt(), nullptr);
    QTest::qWait(50);  // the criterion is applied through the queue
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "Diff 100");
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(criteriaPath).Ok());
    ASSERT_EQ(saved.Scripts.size(), 1u);
    EXPECT_EQ(saved.Scripts[0]->Elements.front().Postfix, "D");

    frame.ShowScriptsDialog = [](ScriptsDialog&) { ADD_FAILURE() << "stopping shows nothing"; };
    scripted->trigger();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(frame.SelectorWidget()->isEnabled());
    EXPECT_EQ(Child().Graph().ScriptPrompt(), nullptr);

    frame.ShowScriptsDialog = [](ScriptsDialog& dialog) {
        QTest::keyClick(&dialog, Qt::Key_Escape);  // edits stay, and are saved
    };
    frame.Library().Scripts[0]->Customer = "Acme";
    scripted->trigger();
    EXPECT_EQ(document.ActiveScript, nullptr);
    ASSERT_TRUE(saved.Load(criteriaPath).Ok());
    EXPECT_EQ(saved.Scripts.at(0)->Customer, "Acme");

    for (CChildFrame* child : frame.Children()) {
        child->CanClose = nullptr;
    }
    frame.findChild<QMdiArea*>()->closeAllSubWindows();
    // The windows close from the event loop; a loaded machine may take its time.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !scripted->isEnabled(); }, 5000))
        << "no collection to run in";
}

// Answers the question box that the next command shows, and notes its caption.
void AnswerNextQuestion(QMessageBox::StandardButton answer, QString* caption) {
    QTimer::singleShot(0, [answer, caption] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *caption = box->windowTitle();
            box->button(answer)->click();
        }
    });
}

// The Criteria Editor asks before it disturbs a run: No leaves the run and
// opens nothing, Yes stops the run and opens the manager.
TEST_F(MainWindow, CriteriaEditorAsksBeforeStoppingARun) {
    Script& script = frame.Library().AddScript();
    script.PromptForSerial = 0;
    script.AddElement().CriterionId = frame.Library().Criteria[0]->Id;
    frame.ShowScriptsDialog = [](ScriptsDialog& dialog) {
        dialog.ScriptList()->setCurrentRow(0);
        QTest::mouseClick(dialog.Button("Run"), Qt::LeftButton);
    };
    Command("Scripted Tests")->trigger();
    COrvikDoc& document = Child().Document();
    ASSERT_EQ(document.ActiveScript, &script);
    int managers = 0;
    frame.ShowCriteriaManager = [&managers](CriteriaManagerDialog&) { ++managers; };
    QString caption;
    AnswerNextQuestion(QMessageBox::No, &caption);
    Command("Criteria Editor")->trigger();
    EXPECT_EQ(caption, "Stop running script?");
    EXPECT_EQ(document.ActiveScript, &script);
    EXPECT_EQ(managers, 0);
    AnswerNextQuestion(QMessageBox::Yes, &caption);
    Command("Criteria Editor")->trigger();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(frame.SelectorWidget()->isEnabled());
    EXPECT_EQ(managers, 1);
}

TEST_F(MainWindow, DamagedLibraryIsReportedAndKept) {
    testing::WriteFile(criteriaPath, {3, 0, 0, 0, 0xFF});
    // The warning is a modal box; answer it as soon as it shows.
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    frame.LoadCriteriaLibrary(criteriaPath);
    EXPECT_TRUE(frame.Library().OverwriteProtected());
    EXPECT_EQ(frame.SelectorWidget()->count(), 0);
    EXPECT_FALSE(frame.Library().Save(criteriaPath).Ok());
    EXPECT_EQ(testing::ReadFile(criteriaPath), (std::vector<std::uint8_t>{3, 0, 0, 0, 0xFF}));
}

TEST_F(MainWindow, CriteriaEditorRefillsTheSelectorAndSavesHoweverTheManagerIsLeft) {
    QAction* editor = Command("Criteria Editor");
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->isEnabled());
    // Loading put "SE 50" (id 0) after "Diff 100" (id 1) in the list.
    frame.ShowCriteriaManager = [](CriteriaManagerDialog& manager) {
        manager.List()->setCurrentRow(1);  // "SE 50"
        QTest::mouseClick(manager.Button("Delete"), Qt::LeftButton);
        QTest::keyClick(&manager, Qt::Key_Escape);
        EXPECT_EQ(manager.result(), QDialog::Rejected);
    };
    editor->trigger();
    ASSERT_EQ(frame.SelectorWidget()->count(), 1);
    EXPECT_EQ(frame.SelectorWidget()->itemText(0), "Diff 100");
    EXPECT_EQ(frame.Selector().SelectedCriterion()->Name, "Diff 100");
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(criteriaPath).Ok());
    ASSERT_EQ(saved.Criteria.size(), 1u);
    EXPECT_EQ(saved.Criteria[0]->Name, "Diff 100");

    frame.ShowCriteriaManager = [](CriteriaManagerDialog& manager) {
        manager.RunEditor = [](CriterionEditorDialog& dialog) {
            dialog.Field(CriterionField::Name)->setText("SE 45");
            dialog.Field(CriterionField::TargetImpedance)->setText("45");
            dialog.Save();
            return dialog.result() == QDialog::Accepted;
        };
        QTest::mouseClick(manager.Button("Create"), Qt::LeftButton);
        manager.List()->setCurrentRow(1);  // "SE 45" sorts after "Diff 100"
        QTest::mouseClick(manager.Button("Close"), Qt::LeftButton);
        EXPECT_EQ(manager.result(), QDialog::Accepted);
    };
    editor->trigger();
    ASSERT_EQ(frame.SelectorWidget()->count(), 2);
    EXPECT_EQ(frame.SelectorWidget()->currentText(), "SE 45");
    EXPECT_EQ(frame.Selector().SelectedCriterion()->Id, 2);
    EXPECT_EQ(Child().Document().TraceTemplate.Criteria.Name, "SE 45");
}

// Closes the next modal box as soon as it shows, and notes its text.
void CloseNextBox(QString* text) {
    QTimer::singleShot(0, [text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->close();
        }
    });
}

// Each collection window has its own run: a script runs in one window at a
// time, and activating a window selects the criterion of its own next test.
TEST_F(MainWindow, CollectionWindowsKeepTheirOwnRuns) {
    std::array<Script*, 2> scripts{};
    for (Script*& script : scripts) {
        script = &frame.Library().AddScript();
        script->PromptForSerial = 0;
        script->AddElement().CriterionId = 0;  // "SE 50"
        script->AddElement().CriterionId = 1;  // "Diff 100"
    }
    CChildFrame& one = Child();
    ScriptRun& runs = frame.Station().Scripts();
    ASSERT_TRUE(runs.Start(one.Document(), *scripts[0]));
    CChildFrame& two = *frame.NewCollection();
    QString refusal;
    CloseNextBox(&refusal);
    EXPECT_FALSE(runs.Start(two.Document(), *scripts[0]));
    EXPECT_TRUE(refusal.contains("is running in the collection")) << refusal.toStdString();
    ASSERT_TRUE(runs.Start(two.Document(), *scripts[1]));

    auto* area = frame.findChild<QMdiArea*>();
    area->setActiveSubWindow(&one);
    QTest::mouseClick(&one.Graph(), Qt::LeftButton);
    QTest::mouseClick(&one.Graph(), Qt::RightButton);
    EXPECT_EQ(frame.Selector().SelectedCriterion()->Name, "Diff 100");
    area->setActiveSubWindow(&two);
    EXPECT_EQ(frame.Selector().SelectedCriterion()->Name, "SE 50");
    EXPECT_EQ(two.Document().TraceTemplate.Criteria.Name, "SE 50");
}

// On a desktop with decimal commas the program's numbers keep the decimal
// point: the tree line, the graph labels and the coupon profile of
// --simulate=47.5@0-10, which is read after the program has started.
TEST(CommaDesktop, ProgramKeepsTheDecimalPoint) {
    testing::CommaLocale comma;
    if (!comma.Active()) {
        GTEST_SKIP() << comma.Reason();
    }
    testing::TemporaryFolder folder;
    const std::string criteriaPath = folder.File("criteria.dat");
    CriteriaLibrary library;
    library.AddCriterion().Name = "SE 50";
    ASSERT_TRUE(library.Save(criteriaPath).Ok());
    testing::FakeInstrument instrument;
    instrument.level = 52.25;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
    frame.LoadCriteriaLibrary(criteriaPath);
    frame.ProcessCommandLine({});
    emit frame.SelectorWidget()->activated(0);
    CChildFrame& child = *frame.ActiveChild();
    QTest::mouseClick(&child.Graph(), Qt::LeftButton);
    EXPECT_EQ(child.Graph().SummaryLabel(GraphSummary::Average).Text, "Avg: 52.25");
    EXPECT_EQ(child.Graph().SummaryLabel(GraphSummary::Verdict).Text, "52.25 - PASS");
    QTest::mouseClick(&child.Graph(), Qt::RightButton);
    QTreeWidget& tree = *child.Browse().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(PlainText(VividTree::FromItemText(tree.topLevelItem(0)->text(0))),
              "SD - Sample #: 1,  52.25   PASS");
    const auto profile = sim::CouponProfile::Parse("47.5@0-10");
    EXPECT_TRUE(profile.Ok()) << (profile ? "" : profile.Error().Message);
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// The whole program on the simulated MV300, on a virtual clock.
// The whole program on the simulator, with instrument work on the window
// thread and on a worker thread of its own (as the program runs it).
class ProgramOnSimulator : public ::testing::TestWithParam<bool> {
  protected:
    ProgramOnSimulator() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        EXPECT_TRUE(library.Save(criteriaPath).Ok());
        frame.LoadCriteriaLibrary(criteriaPath);
        findings = frame.StartInstrument();
        frame.ProcessCommandLine({});
        emit frame.SelectorWidget()->activated(0);
    }

    CChildFrame& Child() { return *frame.ActiveChild(); }
    static StartOptions Options() {
        StartOptions options{{}, "", true};
        options.InstrumentThread = GetParam();
        return options;
    }
    void WaitForMeasurement() {
        QTRY_VERIFY_WITH_TIMEOUT(!frame.Station().InstrumentBusy(), 10000);
    }

    testing::TemporaryFolder folder;
    std::string criteriaPath = folder.File("criteria.dat");
    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> simulatorPort =
        sim::DefaultSimulatedInstrument(clock);
    sim::SimulatedDriverPort& simulator = *simulatorPort;
    CMainFrame frame{Options(), simulator, clock};
    StartUpFindings findings;
};

TEST_P(ProgramOnSimulator, StartsTheColdInstrumentAndPollsTheTriggerPort) {
    EXPECT_TRUE(findings.instrumentFound);
    EXPECT_TRUE(findings.fpgaImage.has_value()) << "a cold instrument gets its images";
    EXPECT_TRUE(frame.TriggerPollRunning());
    EXPECT_TRUE(frame.windowTitle().startsWith("Orvik - Simulated MV300"));
    ASSERT_NE(frame.SimulatorMenu(), nullptr);
}

TEST_P(ProgramOnSimulator, ClickMeasuresTheAttachedCoupon) {
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    WaitForMeasurement();
    const TraceRecord& trace = Child().Document().TraceTemplate;
    EXPECT_NEAR(trace.Average, 50.0, 0.5);
    EXPECT_TRUE(trace.Passed);
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    VividTree& tree = *Child().Browse().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    const std::string text = PlainText(VividTree::FromItemText(tree.topLevelItem(0)->text(0)));
    EXPECT_EQ(text.substr(0, 20), "SD - Sample #: 1,  5");
    EXPECT_EQ(text.substr(text.size() - 4), "PASS");
}

TEST_P(ProgramOnSimulator, TriggerInputsRunAndRecord) {
    simulator.PressInput(1);
    QTest::qWait(250);
    simulator.ReleaseInput(1);
    QTest::qWait(150);
    EXPECT_EQ(Child().Document().TraceTemplate.SampleCount(), 750);
    simulator.PressInput(2);
    QTest::qWait(250);
    simulator.ReleaseInput(2);
    QTest::qWait(150);
    EXPECT_EQ(Child().Document().Items().size(), 1u) << "a held input records once";
}

// The trigger poll goes on under modal windows: a pedal pressed while the
// Calibration dialog is open must not run a test.
TEST_P(ProgramOnSimulator, PedalDuringCalibrationRunsNoTest) {
    frame.ShowCalibrateDialog = [this](CalibrateDialog& dialog) {
        QTimer::singleShot(0, [this] { simulator.PressInput(1); });
        QTimer::singleShot(350, [this, &dialog] {
            simulator.ReleaseInput(1);
            dialog.reject();
        });
        dialog.exec();
    };
    frame.OnCalibrate();
    QTest::qWait(250);
    WaitForMeasurement();
    EXPECT_EQ(Child().Document().CurrentKind, CurrentTraceKind::NoMeasurement);
}

TEST_P(ProgramOnSimulator, UnpluggedInstrumentStopsLiveMode) {
    simulator.Unplug();
    frame.Station().SetLiveMode(true);
    // "Device not found" is a modal box; the operator closes it.
    QTimer answer;
    int boxes = 0;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            ++boxes;
            box->close();
        }
    });
    answer.start(20);
    QTest::qWait(400);
    EXPECT_FALSE(frame.Station().LiveMode());
    EXPECT_EQ(boxes, 1) << "one message, then live mode is off";
}

INSTANTIATE_TEST_SUITE_P(Threads, ProgramOnSimulator, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? "InstrumentThread" : "WindowThread";
                         });

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// With a real instrument the status bar names the one in use (bus, address,
// serial), as the driver port last opened it, once start-up is over.
TEST(MainFrameStatusBar, NamesTheRealInstrumentInUse) {
    VirtualClock clock;
    NoDevicesPort nothing;
    std::string inUse;
    StartOptions options;
    options.InstrumentName = [&inUse] { return inUse; };
    CMainFrame frame{options, nothing, clock};
    const QLabel* label = frame.findChild<QLabel*>("instrumentLabel");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "MV300");

    frame.StartInstrument();
    EXPECT_EQ(label->text(), "MV300 not found");
    inUse = "MV300 on bus 1, address 7, serial 0300-0042";
    frame.StartInstrument();
    EXPECT_EQ(label->text(), "MV300 on bus 1, address 7, serial 0300-0042");
    // Replugged, it comes back at another address; the label follows.
    inUse = "MV300 on bus 1, address 9, serial 0300-0042";
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString::fromStdString(inUse), 5000);
}

}  // namespace
}  // namespace orvik
