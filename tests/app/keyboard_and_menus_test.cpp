// Reaching the commands quickly: access keys, the Window menu, the test
// tree's node menu and the simulator's pedals on the keyboard.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <set>

#include "collection/orvik_doc.h"
#include "main_window_fixture.h"
#include "script/script.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"
#include "simulator/simulated_instrument.h"

namespace orvik {
namespace {

// The letter after a single '&', or none.
QChar AccessKey(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&') {
            if (text[i + 1] != '&') {
                return text[i + 1].toLower();
            }
            ++i;
        }
    }
    return {};
}

// Every menu, submenus included, has each access key once; in the menus
// named in `complete` every command has one.
void ExpectAccessKeys(QMenu& menu, const QStringList& complete) {
    std::set<QChar> seen;
    const QString title = QString(menu.title()).remove('&');
    for (QAction* action : menu.actions()) {
        if (action->isSeparator() || action->text().isEmpty()) {
            continue;
        }
        const QChar key = AccessKey(action->text());
        if (complete.contains(title)) {
            EXPECT_FALSE(key.isNull())
                << title.toStdString() << ": " << action->text().toStdString();
        }
        if (!key.isNull()) {
            EXPECT_TRUE(seen.insert(key).second)
                << title.toStdString() << ": key " << QString(key).toStdString() << " twice";
        }
        if (action->menu() != nullptr) {
            ExpectAccessKeys(*action->menu(), complete);
        }
    }
}

class KeyboardAndMenus : public MainWindow {
  protected:
    QStringList WindowEntries() {
        emit frame.WindowMenu()->aboutToShow();
        QStringList entries;
        for (QAction* action : frame.WindowMenu()->actions()) {
            entries << action->text();
        }
        return entries;
    }
    // Right-clicks the node and chooses `command` from its menu; the menu's
    // commands and whether each is offered are kept in `offered`.
    void ChooseFromNodeMenu(QTreeWidgetItem* item, const QString& command,
                            std::map<QString, bool>* offered = nullptr) {
        Child().Browse().ShowContextMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions()) {
                const QString text = QString(action->text()).remove('&');
                if (offered != nullptr && !action->isSeparator()) {
                    (*offered)[text] = action->isEnabled();
                }
                if (text == command) {
                    action->trigger();
                }
            }
        };
        const QRect row = Tree().visualItemRect(item);
        QTest::mouseClick(Tree().viewport(), Qt::RightButton, {}, row.center());
    }
};

TEST_F(KeyboardAndMenus, EveryMenuHasUniqueAccessKeys) {
    frame.NewCollection();
    for (QAction* top : frame.menuBar()->actions()) {
        EXPECT_FALSE(AccessKey(top->text()).isNull()) << top->text().toStdString();
        if (top->menu() != nullptr) {
            emit top->menu()->aboutToShow();
            ExpectAccessKeys(*top->menu(), {"Action", "Window", "File"});
        }
    }
}

TEST_F(KeyboardAndMenus, WindowMenuListsTilesAndActivatesTheWindows) {
    frame.show();
    Child().Document().SetPath(folder.File("LOT&1.tdr"));
    Child().UpdateTitle();
    CChildFrame* second = frame.NewCollection();
    const QStringList entries = WindowEntries();
    ASSERT_EQ(entries.size(), 5) << entries.join('|').toStdString();
    EXPECT_EQ(entries[0], "&Tile");
    EXPECT_EQ(entries[1], "&Cascade");
    EXPECT_TRUE(entries[3].startsWith("&1 LOT&&1.tdr")) << entries[3].toStdString();
    EXPECT_TRUE(entries[4].startsWith("&2 ")) << entries[4].toStdString();
    EXPECT_TRUE(frame.WindowMenu()->actions()[4]->isChecked()) << "the active one";

    frame.WindowMenu()->actions()[3]->trigger();
    EXPECT_NE(frame.ActiveChild(), second);
    frame.WindowMenu()->actions()[0]->trigger();  // Tile
    const QList<QMdiSubWindow*> windows = frame.findChild<QMdiArea*>()->subWindowList();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_FALSE(windows[0]->geometry().intersects(windows[1]->geometry())) << "side by side";
}

// Answers the next question box with Yes.
void AnswerYesToTheNextQuestion() {
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->button(QMessageBox::Yes)->click();
        }
    });
}

TEST_F(KeyboardAndMenus, NodeMenuActsOnTheNodeUnderThePointer) {
    COrvikDoc& document = Child().Document();
    Choose(0);
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    auto script = std::make_unique<Script>();
    script->Description = "Lot";
    script->PromptForSerial = 0;  // numbered automatically: resuming asks nothing
    script->AddElement().CriterionId = frame.Library().Criteria[0]->Id;
    document.AppendItem(std::move(script));
    Child().Browse().InitialUpdate();
    ASSERT_EQ(Tree().topLevelItemCount(), 2);
    ASSERT_EQ(Tree().currentItem(), nullptr);

    std::map<QString, bool> offered;
    ChooseFromNodeMenu(Tree().topLevelItem(1), "Resume script", &offered);
    EXPECT_EQ(offered, (std::map<QString, bool>{{"Resume script", true},
                                                {"Export trace CSV...", false},
                                                {"Use as Reference...", false},
                                                {"Clear Reference", false},
                                                {"Delete", true}}));
    EXPECT_NE(document.ActiveScript, nullptr) << "resumed without a left click first";

    ChooseFromNodeMenu(Tree().topLevelItem(0), "", &offered);
    EXPECT_EQ(offered, (std::map<QString, bool>{{"Resume script", false},
                                                {"Export trace CSV...", true},
                                                {"Use as Reference...", true},
                                                {"Clear Reference", false},
                                                {"Delete", true}}));

    AnswerYesToTheNextQuestion();
    ChooseFromNodeMenu(Tree().topLevelItem(0), "Delete");
    EXPECT_EQ(Tree().topLevelItemCount(), 1);
    ASSERT_EQ(document.Items().size(), 1u) << "the trace went, the script stayed";
}

// The pedals of the simulated trigger port on Ctrl+1 and Ctrl+2.
TEST(SimulatorKeys, CtrlOneRunsAndCtrlTwoRecords) {
    testing::TemporaryFolder folder;
    CriteriaLibrary library;
    library.AddCriterion().Name = "SE 50";
    ASSERT_TRUE(library.Save(folder.File("criteria.dat")).Ok());
    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> simulator = sim::DefaultSimulatedInstrument(clock);
    CMainFrame frame{StartOptions{{}, "", true}, *simulator, clock};
    frame.LoadCriteriaLibrary(folder.File("criteria.dat"));
    frame.StartInstrument();
    frame.ProcessCommandLine({});
    new sim::SimulatorMenuWidget(*frame.SimulatorMenu(), *simulator);
    emit frame.SelectorWidget()->activated(0);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    COrvikDoc& document = frame.ActiveChild()->Document();

    QTest::keyClick(&frame, Qt::Key_1, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(document.TraceTemplate.SampleCount(), 750, 3000);
    QTest::qWait(400);  // the pedal comes up again
    QTest::keyClick(&frame, Qt::Key_2, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(document.Items().size(), std::size_t{1}, 3000);
}

}  // namespace
}  // namespace orvik
