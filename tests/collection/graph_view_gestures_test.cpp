// The trace graph's cursor, zoom, pan, overlay and units, driven with the
// mouse and keys as an operator drives them; clicks still run and record.
#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include "app/gui/browse_view.h"
#include "app/gui/graph_gestures.h"
#include "app/gui/graph_view.h"
#include "app/qt_environment.h"
#include "app/station_fakes.h"
#include "chart/gui/vivid_tree_widget.h"
#include "chart/gui/xgraph_widget.h"
#include "chart/trace_overlay.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class GraphGesturesTest : public ::testing::Test, protected testing::StationRig {
  protected:
    GraphGesturesTest() {
        library.AddCriterion().Name = "SE 50";
        selector.FillInListOrder(library);
        selector.SelectIndex(0);
        graph.resize(1000, 700);
        browse.resize(250, 700);
        browse.InitialUpdate();
        graph.InitialUpdate();
        browse.SelectedTracesChanged = [this](const std::vector<const TraceRecord*>& traces) {
            graph.ShowSelectedTraces(traces);
        };
        Measure(50.0);
        LayOut();
    }

    // The chart lays itself out when it paints.
    QImage LayOut() { return graph.Chart().Render(graph.size()); }
    void Measure(double level) {
        instrument.level = level;
        QTest::mouseClick(&graph, Qt::LeftButton, {}, Middle());
    }
    void Record(double level) {
        Measure(level);
        QTest::mouseClick(&graph, Qt::RightButton, {}, Middle());
    }
    QPoint Middle() const {
        const PixelRect& plot = graph.Chart().PlotRect();
        return {(plot.left + plot.right) / 2, (plot.top + plot.bottom) / 2};
    }
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
              Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent event(type, at, graph.mapToGlobal(at), button, held, modifiers);
        QApplication::sendEvent(&graph, &event);
        LayOut();
    }
    void Drag(QPoint from, QPoint to, Qt::MouseButton button, Qt::KeyboardModifiers mods = {}) {
        Send(QEvent::MouseButtonPress, from, button, button, mods);
        Send(QEvent::MouseMove, to, Qt::NoButton, button, mods);
        Send(QEvent::MouseButtonRelease, to, button, Qt::NoButton, mods);
    }
    void Wheel(QPoint at, int notches) {
        QWheelEvent event(at, graph.mapToGlobal(at), {}, {0, notches * 120}, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&graph, &event);
        LayOut();
    }
    void Key(int key) {
        QTest::keyClick(&graph, static_cast<Qt::Key>(key));
        LayOut();
    }
    const CXGraphAxis& X() { return graph.Chart().XAxisAt(0); }
    const CXGraphAxis& Y() { return graph.Chart().YAxisAt(0); }
    std::string Average() { return graph.SummaryLabel(GraphSummary::Average).Text; }

    CBrowseView browse{document, station};
    CGraphView graph{document, station};
};

TEST_F(GraphGesturesTest, ZoomAndPanGesturesRunNoTestAndClicksStillDo) {
    instrument.level = 60.0;  // a test run now would read 60
    const double fullMax = X().Max;
    Wheel(Middle(), 3);
    EXPECT_LT(X().Max - X().Min, fullMax);
    Key(Qt::Key_Home);
    EXPECT_EQ(X().Max, fullMax);
    const QPoint from = Middle() - QPoint(100, 80);
    Drag(from, Middle() + QPoint(100, 80), Qt::LeftButton, Qt::ShiftModifier);
    ASSERT_TRUE(X().Zoom);
    const double zoomedMin = X().Min;
    Drag(Middle(), Middle() + QPoint(-200, 0), Qt::MiddleButton);  // looks further right
    EXPECT_GT(X().Min, zoomedMin);
    const AxisWindow seen = *X().Zoom;
    Key(Qt::Key_Left);  // looks further left
    EXPECT_LT(X().Zoom->From, seen.From);
    const AxisWindow ohms = *Y().Zoom;
    Key(Qt::Key_Up);  // looks higher
    EXPECT_GT(Y().Zoom->To, ohms.To);
    const double span = X().Zoom->To - X().Zoom->From;
    Key(Qt::Key_Plus);
    EXPECT_LT(X().Zoom->To - X().Zoom->From, span);
    Key(Qt::Key_Minus);
    EXPECT_NEAR(X().Zoom->To - X().Zoom->From, span, 1e-9);
    EXPECT_EQ(Average(), "Avg: 50.00") << "no gesture may run a test";

    // A double click: its first press runs a test, the second resets the view.
    QTest::mouseDClick(&graph, Qt::LeftButton, {}, Middle());
    LayOut();
    EXPECT_FALSE(X().Zoom);
    EXPECT_FALSE(Y().Zoom);
    QTest::mouseClick(&graph, Qt::LeftButton, {}, Middle());
    EXPECT_EQ(Average(), "Avg: 60.00");
    QTest::mouseClick(&graph, Qt::RightButton, {}, Middle());
    EXPECT_EQ(browse.Tree()->topLevelItemCount(), 1);
}

TEST_F(GraphGesturesTest, CursorIsDrawnOverTheKeptPictureAndGoesWithThePointer) {
    const QImage plain = LayOut();
    EXPECT_EQ(graph.Chart().grab().toImage().convertToFormat(plain.format()), plain)
        << "without the pointer the window shows the chart as ever";
    int chartPaints = 0;
    QObject::connect(&graph.Chart(), &XGraphWidget::Painted, [&] { ++chartPaints; });
    Send(QEvent::MouseMove, Middle(), Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(graph.Gestures().CursorColumn(), Middle().x());
    const QImage withCursor = graph.Chart().grab().toImage().convertToFormat(plain.format());
    EXPECT_EQ(chartPaints, 0) << "a cursor move copies the kept picture";
    EXPECT_NE(withCursor, plain);
    EXPECT_EQ(withCursor.pixel(Middle().x(), Middle().y() + 40), qRgb(0, 0, 0)) << "the line";
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&graph, &leave);
    EXPECT_FALSE(graph.Gestures().CursorColumn());
    EXPECT_EQ(graph.Chart().grab().toImage().convertToFormat(plain.format()), plain);
    Measure(50.0);
    graph.Chart().grab();
    EXPECT_EQ(chartPaints, 1) << "a new measurement is a new picture";
}

TEST_F(GraphGesturesTest, MillimetresOnTheAxisAndZoomedPrintShowsTheZoomedView) {
    graph.SetDisplayUnits(DisplayUnits{LengthUnit::Millimetres, std::nullopt});
    Measure(55.0);  // a refresh keeps the unit
    LayOut();
    EXPECT_EQ(X().Title, "Millimetres");
    EXPECT_EQ(X().FormatValue(10.0), "254.0");
    Wheel(Middle(), 4);
    const double shownMin = X().Min;
    const double shownMax = X().Max;
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("graph.pdf"));
    printer.setPageOrientation(QPageLayout::Landscape);
    graph.PrintOn(printer);
    // Laid out for the page, the axis covers the same zoomed part.
    EXPECT_LE(X().Min, shownMin + 1e-9);
    EXPECT_GE(X().Max, shownMax - 1e-9);
    EXPECT_LT(X().Max - X().Min, 9.0);
    EXPECT_EQ(X().Title, "Millimetres");
    EXPECT_GT(QFileInfo(dir.filePath("graph.pdf")).size(), 1000);
}

TEST_F(GraphGesturesTest, SelectedTracesAreDrawnTogetherAndTheLastIsSummarised) {
    for (double level : {45.0, 50.0, 65.0}) {
        Record(level);
    }
    VividTree& tree = *browse.Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 3);
    tree.setCurrentItem(tree.topLevelItem(0));
    tree.setCurrentItem(tree.topLevelItem(2), 0, QItemSelectionModel::Select);
    tree.setCurrentItem(tree.topLevelItem(1), 0, QItemSelectionModel::Select);
    LayOut();
    const CXGraph& chart = graph.Chart();
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Average).Text, "Avg: 50.00");
    EXPECT_TRUE(chart.ShowLegend);
    ASSERT_EQ(chart.CurveCount(), 3);
    // Colours by order of selection: first, second, third (the current one).
    EXPECT_EQ(chart.CurveAt(0).Colour, OverlayColour(2));
    EXPECT_EQ(chart.CurveAt(1).Colour, OverlayColour(0));
    EXPECT_EQ(chart.CurveAt(2).Colour, OverlayColour(1));
    EXPECT_DOUBLE_EQ(chart.CurveAt(1).PointAt(100).Y, 45.0);
    EXPECT_DOUBLE_EQ(chart.CurveAt(2).PointAt(100).Y, 65.0);
    EXPECT_FALSE(graph.OverlayNoticeLabel()->Visible);
    graph.UseColourSet(true);  // their own colours on white, not the usual ones darkened
    EXPECT_EQ(chart.CurveAt(0).Colour, OverlayColour(2, true));
    EXPECT_EQ(chart.CurveAt(1).Colour, OverlayColour(0, true));
    graph.UseColourSet(false);

    // Ctrl-clicking the current trace away: the last one left is described.
    tree.setCurrentItem(tree.topLevelItem(1), 0, QItemSelectionModel::Deselect);
    LayOut();
    EXPECT_EQ(tree.currentItem(), tree.topLevelItem(2));
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Average).Text, "Avg: 65.00");
    EXPECT_TRUE(chart.CurveAt(1).Visible);
    EXPECT_FALSE(chart.CurveAt(2).Visible);

    // Shift from the third trace up to the first: the first, where the
    // range ends, is current and described; each trace is drawn once.
    tree.setCurrentItem(tree.topLevelItem(2));
    tree.setCurrentItem(tree.topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    tree.selectionModel()->select(
        QItemSelection(tree.model()->index(0, 0), tree.model()->index(1, 0)),
        QItemSelectionModel::Select);
    LayOut();
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Average).Text, "Avg: 45.00");
    ASSERT_TRUE(chart.CurveAt(2).Visible);
    EXPECT_DOUBLE_EQ(chart.CurveAt(1).PointAt(100).Y, 65.0);
    EXPECT_DOUBLE_EQ(chart.CurveAt(2).PointAt(100).Y, 50.0);

    // A new measurement clears the selection: one trace, as ever.
    Measure(52.0);
    LayOut();
    EXPECT_FALSE(chart.ShowLegend);
    EXPECT_FALSE(chart.CurveAt(1).Visible);
    EXPECT_EQ(chart.CurveAt(0).Label, "Trace");
}

TEST_F(GraphGesturesTest, MoreThanSixteenShowsSixteenAndSaysSo) {
    for (int i = 0; i < 18; ++i) {
        Record(40.0 + i);
    }
    VividTree& tree = *browse.Tree();
    tree.setCurrentItem(tree.topLevelItem(0));
    for (int i = 1; i < 18; ++i) {
        tree.setCurrentItem(tree.topLevelItem(i), 0, QItemSelectionModel::Select);
    }
    LayOut();
    const CXGraph& chart = graph.Chart();
    int visible = 0;
    for (int i = 0; i < chart.CurveCount(); ++i) {
        visible += chart.CurveAt(i).Visible ? 1 : 0;
    }
    EXPECT_EQ(visible, 16);
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Average).Text, "Avg: 57.00");
    ASSERT_TRUE(graph.OverlayNoticeLabel()->Visible);
    EXPECT_EQ(graph.OverlayNoticeLabel()->Text,
              "Showing 16 of 18 selected traces: the first 15 and the last selected");
}

}  // namespace
}  // namespace orvik
