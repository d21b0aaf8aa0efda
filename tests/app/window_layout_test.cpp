// The collection window's proportions and the main window's place, kept
// between runs.
#include <gtest/gtest.h>
#include <QSettings>
#include <QSplitter>
#include <QTest>

#include "chart/coloured_text.h"
#include "collection/orvik_doc.h"
#include "main_window_fixture.h"

namespace orvik {
namespace {

class WindowLayout : public MainWindow {
  protected:
    WindowLayout() { Forget(); }
    ~WindowLayout() override { Forget(); }
    static void Forget() {
        QSettings settings;
        settings.remove(CChildFrame::kTreeWidthSetting);
        settings.remove(CMainFrame::kGeometrySetting);
    }
};

TEST_F(WindowLayout, TreeShowsAWholeTraceLineWithItsVerdict) {
    frame.show();
    Choose(0);
    instrument.level = 100;  // "SD - Sample #: 1,  100.00   FAIL"
    QTest::mouseClick(&Child().Graph(), Qt::LeftButton);
    QTest::mouseClick(&Child().Graph(), Qt::RightButton);
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    QTreeWidgetItem* line = Tree().topLevelItem(0);
    const QString text =
        QString::fromLatin1(PlainText(VividTree::FromItemText(line->text(0))).c_str());
    ASSERT_TRUE(text.endsWith("FAIL")) << text.toStdString();
    const int needed = Tree().visualItemRect(line).left() + Tree().iconSize().width() +
                       Tree().fontMetrics().horizontalAdvance(text);
    EXPECT_GE(Tree().viewport()->width(), needed);
}

TEST_F(WindowLayout, TreeWidthAndWindowGeometryAreKept) {
    frame.show();
    QSplitter& splitter = Child().Splitter();
    splitter.setSizes({410, 600});
    emit splitter.splitterMoved(410, 1);  // as a drag of the handle ends
    CChildFrame* next = frame.NewCollection();
    EXPECT_EQ(next->Splitter().sizes().value(0), 410) << "a new window takes the last width";

    frame.resize(900, 640);
    ASSERT_TRUE(frame.close());
    CMainFrame again{StartOptions{}, instrument, clock};
    again.RestoreWindowGeometry();
    EXPECT_EQ(again.size(), QSize(900, 640));
}

}  // namespace
}  // namespace orvik
