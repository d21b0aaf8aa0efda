// What the main window tells the operator after each step, and which commands
// it offers in each state.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "chart/gui/xgraph_widget.h"
#include "collection/orvik_doc.h"
#include "criteria/gui/scripts_dialog.h"
#include "main_window_fixture.h"
#include "report/gui/preferences_dialog.h"
#include "script/script.h"

namespace orvik {
namespace {

class StatusBar : public MainWindow {
  protected:
    void Run() { QTest::mouseClick(&Child().Graph(), Qt::LeftButton); }
    void Record() { QTest::mouseClick(&Child().Graph(), Qt::RightButton); }
    QString Progress() {
        QTest::qWait(150);  // the pane follows on the next tick
        QLabel* pane = frame.ScriptProgressLabel();
        return pane->isVisibleTo(&frame) ? pane->text() : QString();
    }

    const Criterion& CriterionNamed(const std::string& name) {
        for (const auto& criterion : frame.Library().Criteria) {
            if (criterion->Name == name) {
                return *criterion;
            }
        }
        throw std::logic_error("no criterion " + name);
    }

    // A two-test script over auto-numbered coupons "L4711-100", "L4711-101"...
    Script& AddScript() {
        Script& script = frame.Library().AddScript();
        script.Description = "Lot 4711";
        script.Prefix = "L4711-";
        script.PromptForSerial = 0;
        for (const char* postfix : {"A", "B"}) {
            ScriptElement& element = script.AddElement();
            element.CriterionId = CriterionNamed("SE 50").Id;
            element.Postfix = postfix;
        }
        return script;
    }
    void StartScript() {
        frame.ShowScriptsDialog = [](ScriptsDialog& dialog) {
            dialog.ScriptList()->setCurrentRow(0);
            QTest::mouseClick(dialog.Button("Run"), Qt::LeftButton);
        };
        Command("Scripted Tests")->trigger();
        QTest::qWait(50);  // the test's criterion is applied through the queue
    }
};

TEST_F(StatusBar, SaysWhatRecordAndSaveDid) {
    Choose(0);
    Record();
    EXPECT_EQ(frame.StatusText(), "Record ignored: no new measurement") << "nothing measured yet";
    Run();
    Record();
    EXPECT_EQ(frame.StatusText(), "Recorded Sample #: 1 (PASS)");
    Record();
    EXPECT_EQ(frame.StatusText(), "Record ignored: no new measurement") << "already filed";
    instrument.level = 70;
    Run();
    Record();
    EXPECT_EQ(frame.StatusText(), "Recorded Sample #: 2 (FAIL)");

    Child().Document().SetPath(folder.File("LOT4711.tdr"));
    ASSERT_TRUE(frame.SaveCollection(Child(), false));
    EXPECT_EQ(frame.StatusText(), "Saved LOT4711.tdr");
}

TEST_F(StatusBar, FollowsAScriptedRunUntilItStops) {
    AddScript();
    EXPECT_EQ(Progress(), "") << "no script runs";
    StartScript();
    EXPECT_EQ(Child().Document().TraceTemplate.Criteria.Name, "SE 50");
    const QString dash(QChar(0x2014));
    EXPECT_EQ(Progress(), "Coupon L4711-100 " + dash + " test 1 of 2");
    Run();
    Record();
    EXPECT_EQ(frame.StatusText(), "Recorded L4711-100A (PASS)");
    EXPECT_EQ(Progress(), "Coupon L4711-100 " + dash + " test 2 of 2");
    Run();
    Record();
    EXPECT_EQ(Progress(), "Coupon L4711-101 " + dash + " test 1 of 2") << "the next coupon";

    Command("Scripted Tests")->trigger();  // stops the run
    EXPECT_EQ(frame.StatusText(), "Script stopped");
    EXPECT_EQ(Progress(), "");
}

// Commands that need a collection are offered only while one is open; the
// others stay. Closing the last collection also ends live mode.
class CommandStates : public MainWindow {};

TEST_F(CommandStates, NeedACollectionOrNot) {
    const char* needCollection[] = {"LiveMode",    "Record Test",    "Generate Report",
                                    "Text Report", "Scripted Tests", "Save",
                                    "Save As...",  "Export CSV...",  "Export Trace CSV..."};
    const char* always[] = {"New", "Open", "Criteria Editor", "Calibrate", "Preferences"};
    QTest::qWait(150);
    for (const char* text : needCollection) {
        ASSERT_NE(Command(text), nullptr) << text;
        EXPECT_TRUE(Command(text)->isEnabled()) << text;
    }
    Command("LiveMode")->trigger();
    ASSERT_TRUE(frame.Station().LiveMode());

    Child().CanClose = nullptr;
    Child().close();
    QTest::qWait(150);
    for (const char* text : needCollection) {
        EXPECT_FALSE(Command(text)->isEnabled()) << text;
    }
    for (const char* text : always) {
        ASSERT_NE(Command(text), nullptr) << text;
        EXPECT_TRUE(Command(text)->isEnabled()) << text;
    }
    EXPECT_FALSE(frame.Station().LiveMode());
    EXPECT_FALSE(Command("LiveMode")->isChecked());

    Command("New")->trigger();
    QTest::qWait(150);
    for (const char* text : needCollection) {
        EXPECT_TRUE(Command(text)->isEnabled()) << text;
    }
}

// The high-contrast colours, chosen in Preferences, recolour the open
// collection windows at once and the ones opened later; they are kept on
// this computer, not in the criteria library.
class ColourSets : public MainWindow {};

TEST_F(ColourSets, ComeFromPreferences) {
    QSettings().remove(kHighContrastSetting);
    frame.show();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(dialog->HighContrastBox()->isChecked());
        dialog->HighContrastBox()->setChecked(true);
        dialog->accept();
    });
    const QColor usual = Tree().palette().color(QPalette::Base);
    EXPECT_NE(usual, QColor(Qt::white));
    Command("Preferences")->trigger();
    EXPECT_TRUE(HighContrastColours());
    EXPECT_EQ(Tree().palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(Child().Graph().Chart().PlotColour, kWhite);
    Command("New")->trigger();
    EXPECT_EQ(Child().Graph().Chart().PlotColour, kWhite) << "a new window too";
    QSettings().remove(kHighContrastSetting);
}

// Another program (or another window test) chose the colours while this
// dialog was open: accepting it unchanged keeps their choice.
TEST_F(ColourSets, AcceptingPreferencesUnchangedKeepsAnotherProgramsChoice) {
    QSettings().remove(kHighContrastSetting);
    frame.show();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QSettings().setValue(kHighContrastSetting, true);
        dialog->accept();
    });
    Command("Preferences")->trigger();
    EXPECT_TRUE(HighContrastColours());
    QSettings().remove(kHighContrastSetting);
}

}  // namespace
}  // namespace orvik
