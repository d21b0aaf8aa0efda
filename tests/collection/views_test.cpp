// The two panes of a collection window, driven as the operator drives them.
#include <gtest/gtest.h>
#include <QLabel>
#include <QTest>

#include "app/gui/browse_view.h"
#include "app/gui/graph_view.h"
#include "app/qt_environment.h"
#include "app/station_fakes.h"
#include "app/test_station.h"
#include "base/clock.h"
#include "chart/coloured_text.h"
#include "chart/gui/vivid_tree_widget.h"
#include "chart/gui/xgraph_widget.h"
#include "criteria/criteria_library.h"
#include "script/script.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class CollectionViews : public ::testing::Test, protected testing::StationRig {
  protected:
    CollectionViews() {
        library.AddCriterion().Name = "SE 50";
        selector.FillInListOrder(library);
        graph.resize(900, 600);
        browse.resize(250, 600);
        browse.InitialUpdate();
        graph.InitialUpdate();
    }

    std::string Label(GraphSummary::Label which) { return graph.SummaryLabel(which).Text; }

    CBrowseView browse{document, station};
    CGraphView graph{document, station};
};

TEST_F(CollectionViews, NewWindowShowsABlankTraceAndEmptyLabels) {
    EXPECT_EQ(document.TraceTemplate.SampleCount(), 250);
    EXPECT_EQ(Label(GraphSummary::Name), "");
    EXPECT_EQ(Label(GraphSummary::Verdict), "");
    EXPECT_EQ(graph.Chart().YAxisAt(0).Title, "Ohms");
    EXPECT_FALSE(graph.Chart().isEnabled()) << "clicks must reach the view";
    EXPECT_EQ(graph.ScriptPrompt(), nullptr);
}

TEST_F(CollectionViews, UpdateFillsLabelsAndSwitchesTheAxisAboveEightyFive) {
    selector.SelectIndex(0);
    instrument.level = 85.0;
    QTest::mouseClick(&graph, Qt::LeftButton);
    EXPECT_EQ(Label(GraphSummary::Average), "Avg: 85.00");
    EXPECT_EQ(Label(GraphSummary::Verdict), "85.00 - FAIL");
    EXPECT_EQ(graph.SummaryLabel(GraphSummary::Verdict).TextColour, 0x0000ffu);
    EXPECT_EQ(graph.Chart().YAxisAt(0).DataMax, 100.0);
    instrument.level = 85.01;
    QTest::mouseClick(&graph, Qt::LeftButton);
    EXPECT_EQ(Label(GraphSummary::Average), "Avg: 85.01");
    EXPECT_EQ(graph.Chart().YAxisAt(0).DataMax, 200.0);
    instrument.level = 50.0;
    QTest::mouseClick(&graph, Qt::LeftButton);
    EXPECT_EQ(graph.Chart().YAxisAt(0).DataMax, 100.0);
    // Both limit bands span the criterion's window.
    const auto& bands = graph.Chart().XAxisAt(0).Bands;
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].YFrom, 55.0);
    EXPECT_EQ(bands[0].YTo, 1000.0);
    EXPECT_EQ(bands[1].YTo, 45.0);
    EXPECT_EQ(bands[1].XFrom, 4.0);
    EXPECT_EQ(bands[1].XTo, 7.0);
}

TEST_F(CollectionViews, ScriptPromptComesAndGoesWithTheRun) {
    Script& script = library.AddScript();
    script.Prefix = "LOT7-";
    script.AddElement().CriterionId = 0;
    script.Elements.back().Postfix = "A";
    prompts.serials = {std::string("12")};
    ASSERT_TRUE(station.Scripts().Start(document, script));
    ASSERT_NE(graph.ScriptPrompt(), nullptr);
    EXPECT_EQ(graph.ScriptPrompt()->text(),
              "Record a measurement for coupon:\n LOT7-12\n test #1 (A)\n on the single-ended "
              "cable");
    station.Scripts().Stop(document);
    EXPECT_EQ(graph.ScriptPrompt(), nullptr);
}

// The box names the cable of the next test's criterion and stands inside the
// plot, clear of the axes' numbers and titles, whatever the window's size.
TEST_F(CollectionViews, ScriptPromptNamesTheCableAndKeepsClearOfTheAxes) {
    Criterion& diff = library.AddCriterion();
    diff.Name = "Diff 100";
    diff.DoubleEnded = 1;
    Script& script = library.AddScript();
    script.AddElement().CriterionId = diff.Id;
    prompts.serials = {std::string("7")};
    graph.show();
    ASSERT_TRUE(station.Scripts().Start(document, script));
    ASSERT_NE(graph.ScriptPrompt(), nullptr);
    EXPECT_TRUE(graph.ScriptPrompt()->text().endsWith("\n on the differential cables"));
    for (const QSize size : {QSize(900, 600), QSize(520, 330), QSize(1400, 900)}) {
        graph.resize(size);
        QTest::qWait(50);  // laid out by the chart's next paint
        const PixelRect plot = graph.Chart().PlotRect();
        const PixelRect title = graph.Chart().XAxisAt(0).TitleBox();
        const QRect box = graph.ScriptPrompt()->geometry();
        EXPECT_TRUE(QRect(plot.left, plot.top, plot.Width(), plot.Height()).contains(box))
            << size.width() << "x" << size.height();
        EXPECT_FALSE(box.intersects(QRect(title.left, title.top, title.Width(), title.Height())))
            << "\"Inches\" stays in sight at " << size.width() << "x" << size.height();
    }
}

// Recording a test moves the box on to the next test and its cable at once,
// before anything else is measured.
TEST_F(CollectionViews, ScriptPromptMovesOnWithEachRecord) {
    Criterion& diff = library.AddCriterion();
    diff.Name = "Diff 100";
    diff.DoubleEnded = 1;
    Script& script = library.AddScript();
    script.Prefix = "L-";
    script.AddElement().CriterionId = library.Criteria.front()->Id;
    script.Elements.back().Postfix = "A";
    script.AddElement().CriterionId = diff.Id;
    script.Elements.back().Postfix = "B";
    prompts.serials = {std::string("7")};
    ASSERT_TRUE(station.Scripts().Start(document, script));
    EXPECT_TRUE(graph.ScriptPrompt()->text().endsWith("test #1 (A)\n on the single-ended cable"));
    QTest::mouseClick(&graph, Qt::LeftButton);
    QTest::mouseClick(&graph, Qt::RightButton);
    ASSERT_GE(document.Items().size(), 2u) << "the first test is filed";
    EXPECT_TRUE(graph.ScriptPrompt()->text().endsWith("test #2 (B)\n on the differential cables"))
        << graph.ScriptPrompt()->text().toStdString();
}

TEST_F(CollectionViews, RecordedTraceAppearsColouredAndSelectingItShowsIt) {
    selector.SelectIndex(0);
    QTest::mouseClick(&graph, Qt::LeftButton);
    QTest::mouseClick(&graph, Qt::RightButton);
    VividTree& tree = *browse.Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    const std::string text = VividTree::FromItemText(tree.topLevelItem(0)->text(0));
    EXPECT_EQ(text, ColourText("SD - ", 0xb40519) + "Sample #: 1,  50.00   " +
                        ColourText("PASS", 0x0fbe00));

    instrument.level = 60.0;
    QTest::mouseClick(&graph, Qt::LeftButton);
    station.SetLiveMode(true);
    tree.setCurrentItem(tree.topLevelItem(0));
    EXPECT_FALSE(station.LiveMode());
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 50.0);
    EXPECT_EQ(Label(GraphSummary::Name), "Sample #: 1");
}

TEST_F(CollectionViews, DeleteAsksWithThePlainNodeText) {
    selector.SelectIndex(0);
    QTest::mouseClick(&graph, Qt::LeftButton);
    QTest::mouseClick(&graph, Qt::RightButton);
    VividTree& tree = *browse.Tree();
    tree.setCurrentItem(tree.topLevelItem(0));
    prompts.yesNoAnswers = {false, true};
    browse.DeleteSelected();
    EXPECT_EQ(document.Items().size(), 1u);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].text,
              "Do you want to delete \"SD - Sample #: 1,  50.00   PASS\" ?");
    EXPECT_EQ(prompts.questions[0].caption, "Delete tree item(s)");
    browse.DeleteSelected();
    EXPECT_TRUE(document.Items().empty());
    EXPECT_EQ(tree.topLevelItemCount(), 0);
}

// After a delete nothing is selected and the graph no longer shows the
// deleted trace; the next click on a row shows that row.
TEST_F(CollectionViews, DeleteClearsTheSelectionAndTheDeletedTraceFromTheGraph) {
    selector.SelectIndex(0);
    for (double level : {50.0, 60.0, 70.0}) {
        instrument.level = level;
        QTest::mouseClick(&graph, Qt::LeftButton);
        QTest::mouseClick(&graph, Qt::RightButton);
    }
    VividTree& tree = *browse.Tree();
    tree.setCurrentItem(tree.topLevelItem(1));
    EXPECT_EQ(Label(GraphSummary::Name), "Sample #: 2");
    prompts.yesNoAnswers = {true};
    browse.DeleteSelected();
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    EXPECT_EQ(tree.currentItem(), nullptr) << "no neighbour takes the selection";
    EXPECT_TRUE(tree.selectedItems().isEmpty());
    EXPECT_EQ(Label(GraphSummary::Name), kNoMeasurementText);
    EXPECT_EQ(Label(GraphSummary::Average), "");
    EXPECT_TRUE(document.IsModified());

    tree.setCurrentItem(tree.topLevelItem(1));
    EXPECT_EQ(Label(GraphSummary::Name), "Sample #: 3");
    EXPECT_EQ(Label(GraphSummary::Average), "Avg: 70.00");
}

// Deleting the running script's node takes the "Record a measurement" box
// away at once.
TEST_F(CollectionViews, DeletingTheRunningScriptRemovesItsPromptAtOnce) {
    auto owned = std::make_unique<Script>();
    owned->Description = "Lot";
    owned->AddElement().CriterionId = 0;
    document.AppendItem(std::move(owned));
    browse.InitialUpdate();
    VividTree& tree = *browse.Tree();
    tree.setCurrentItem(tree.topLevelItem(0));
    browse.ResumeSelectedScript();
    ASSERT_NE(document.ActiveScript, nullptr);
    ASSERT_NE(graph.ScriptPrompt(), nullptr);
    tree.setCurrentItem(tree.topLevelItem(0));  // the resume's refresh cleared the selection
    prompts.yesNoAnswers = {true};
    browse.DeleteSelected();
    EXPECT_TRUE(document.Items().empty());
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_EQ(graph.ScriptPrompt(), nullptr);
    EXPECT_TRUE(selector.Enabled());
}

// Choosing a criterion before any measurement: no "0.00 - FAIL", no numbers.
TEST_F(CollectionViews, CriterionBeforeAnyMeasurementShowsNoVerdict) {
    selector.SelectIndex(0);
    station.ApplySelectedCriterion();
    EXPECT_EQ(Label(GraphSummary::Name), kNoMeasurementText);
    EXPECT_EQ(Label(GraphSummary::Verdict), "");
    EXPECT_EQ(Label(GraphSummary::Average), "");
    EXPECT_EQ(Label(GraphSummary::Extremes), "");
    EXPECT_EQ(Label(GraphSummary::CriterionName), "Criteria: SE 50");
    EXPECT_EQ(graph.Chart().YAxisAt(0).DataMax, 100.0);
}

}  // namespace
}  // namespace orvik
