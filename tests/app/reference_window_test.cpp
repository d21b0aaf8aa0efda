#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/gui/browse_view.h"
#include "app/gui/child_frame.h"
#include "app/gui/graph_view.h"
#include "app/gui/main_frame.h"
#include "base/file_store.h"
#include "chart/gui/xgraph_widget.h"
#include "chart/mask_outline.h"
#include "chart/xgraph_label.h"
#include "collection/reference_mask.h"
#include "main_window_fixture.h"
#include "report/gui/preferences_dialog.h"
#include "test_files.h"

namespace orvik {
namespace {

class ReferenceWindow : public MainWindow {
  protected:
    void MeasureAndRecord(double level) {
        instrument.level = level;
        QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
        Command("Record Test")->trigger();
    }
    QTreeWidgetItem* LastTraceItem() { return Tree().topLevelItem(Tree().topLevelItemCount() - 1); }

    // Right-clicks the node and chooses `command` from its menu, if offered
    // and enabled; tells whether it was.
    bool ChooseFromMenu(QTreeWidgetItem* item, const QString& command) {
        bool chosen = false;
        Child().Browse().ShowContextMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions()) {
                if (QString(action->text()).remove('&') == command && action->isEnabled()) {
                    chosen = true;
                    action->trigger();
                }
            }
        };
        QTest::mouseClick(Tree().viewport(), Qt::RightButton, {},
                          Tree().visualItemRect(item).center());
        return chosen;
    }
    std::string Verdict() {
        return TraceChartLabel(Child().Graph().Chart(), GraphSummary::Verdict).Text;
    }
    int VisibleMaskEdges() {
        int visible = 0;
        for (const CXGraphDataSerie* edge : MaskOutlineEdges(Child().Graph().Chart())) {
            visible += edge->Visible ? 1 : 0;
        }
        return visible;
    }
};

TEST_F(ReferenceWindow, MarkedFromTheTreeItJudgesDrawsAndClears) {
    Choose(0);  // "SE 50", limits 45 to 55
    MeasureAndRecord(50.0);
    EXPECT_FALSE(ChooseFromMenu(LastTraceItem(), "Clear Reference")) << "no reference yet";
    std::optional<ReferenceTolerance> asked;
    Child().Browse().AskTolerance = [&](const TraceRecord& trace,
                                        const ReferenceTolerance& proposed) {
        EXPECT_EQ(trace.Name, "Sample #: 1");
        asked = proposed;
        return ReferenceTolerance{ToleranceUnit::Ohms, 1.0};
    };
    ASSERT_TRUE(ChooseFromMenu(LastTraceItem(), "Use as Reference..."));
    ASSERT_TRUE(asked.has_value());
    EXPECT_TRUE(FileExists(folder.File("criteria.ref")));
    EXPECT_EQ(VisibleMaskEdges(), 2) << "the graph shows the new mask over the filed trace";

    MeasureAndRecord(52.0);
    EXPECT_NE(LastTraceItem()->text(0).indexOf("FAIL - outside reference mask"), -1)
        << LastTraceItem()->text(0).toStdString();
    instrument.level = 52.0;
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    EXPECT_EQ(Verdict(), "52.00 - FAIL - outside reference mask");
    EXPECT_EQ(VisibleMaskEdges(), 2);

    // A criterion without a reference shows no mask.
    Choose(1);
    instrument.level = 100.0;
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    EXPECT_EQ(Verdict(), "100.00 - PASS");
    EXPECT_EQ(VisibleMaskEdges(), 0);

    Choose(0);
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->button(QMessageBox::Yes)->click();
        }
    });
    ASSERT_TRUE(ChooseFromMenu(Tree().topLevelItem(0), "Clear Reference"));
    EXPECT_EQ(frame.Station().References().References().Find(0), nullptr);
    instrument.level = 52.0;
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    EXPECT_EQ(Verdict(), "52.00 - PASS");
    EXPECT_EQ(VisibleMaskEdges(), 0);
}

// A damaged side file is told once, at start-up, and the program goes on
// judging by the limits alone.
TEST_F(ReferenceWindow, ADamagedSideFileIsToldOnceAndIgnored) {
    testing::WriteFile(folder.File("criteria.ref"), {'O', 'R', 'V', 'I', 'K', 'R', 'E', 'F', 1});
    QStringList told;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            told << box->windowTitle() + ": " + box->text();
            box->accept();
        }
    });
    answer.start(20);
    frame.LoadCriteriaLibrary(criteriaPath);
    answer.stop();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(
        told[0].startsWith("Reference curve: The reference curves are damaged and are not "
                           "used."))
        << told[0].toStdString();
    Choose(0);
    instrument.level = 52.0;
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    EXPECT_EQ(Verdict(), "52.00 - PASS");
    EXPECT_TRUE(frame.Station().References().References().Empty());
}

// The unit and the propagation velocity are this computer's Preferences; the
// summary follows at once. A velocity that is no fraction of the speed of
// light is refused.
TEST_F(ReferenceWindow, UnitsComeFromPreferences) {
    QSettings().remove(kLengthUnitSetting);
    QSettings().remove(kVelocityFactorSetting);
    EXPECT_EQ(CurrentDisplayUnits(), DisplayUnits());
    Choose(0);
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    const auto window = [&] {
        return TraceChartLabel(Child().Graph().Chart(), GraphSummary::Window).Text;
    };
    EXPECT_EQ(window(), "Max Pos: 7.00  Min Pos: 4.00");

    bool refused = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->LengthUnitBox()->setCurrentIndex(1);
        dialog->VelocityField()->setText("1.5");
        refused = !dialog->Units().has_value();
        dialog->VelocityField()->setText(" 0.55 ");
        dialog->accept();
    });
    Command("Preferences")->trigger();
    EXPECT_TRUE(refused) << "faster than light";
    EXPECT_EQ(CurrentDisplayUnits(), (DisplayUnits{LengthUnit::Millimetres, 0.55}));
    EXPECT_EQ(window(), "Max Pos: 177.80 mm  Min Pos: 101.60 mm");
    QSettings().remove(kLengthUnitSetting);
    QSettings().remove(kVelocityFactorSetting);
}

// The Action menu offers the same commands for the trace selected in the tree.
TEST_F(ReferenceWindow, TheActionMenuMarksTheSelectedTrace) {
    Choose(0);
    MeasureAndRecord(50.0);
    QAction* mark = Command("Use as Reference...");
    QAction* clear = Command("Clear Reference");
    ASSERT_NE(mark, nullptr);
    ASSERT_NE(clear, nullptr);
    auto* menu = qobject_cast<QMenu*>(mark->parent());
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    EXPECT_FALSE(mark->isEnabled()) << "no trace selected after the refresh";

    Tree().setCurrentItem(LastTraceItem());
    emit menu->aboutToShow();
    ASSERT_TRUE(mark->isEnabled());
    EXPECT_FALSE(clear->isEnabled());
    Child().Browse().AskTolerance = [](const TraceRecord&, const ReferenceTolerance&) {
        return ReferenceTolerance{ToleranceUnit::Percent, 3.0};
    };
    mark->trigger();
    const CriterionReference* kept = frame.Station().References().References().Find(
        Child().Document().TraceTemplate.Criteria.Id);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->Tolerance, 3.0);
    Tree().setCurrentItem(LastTraceItem());  // the refresh cleared the selection
    emit menu->aboutToShow();
    EXPECT_TRUE(clear->isEnabled());
}

}  // namespace
}  // namespace orvik
