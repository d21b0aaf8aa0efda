// The scripted run driven through the station: naming, serials, the guard,
// the Scripted Tests command and the tree a run files into.
#include <gtest/gtest.h>

#include "app/test_station.h"
#include "chart/coloured_text.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "script/script.h"
#include "station_fixture.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::ScriptedStation;

TEST_F(ScriptedStation, NamesTracesFromPrefixSerialAndPostfix) {
    prompts.serials = {std::string("12"), std::string("13")};
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    EXPECT_FALSE(selector.Enabled());
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[0].get());
    EXPECT_EQ(host.posted, 1) << "the first criterion is applied through the queue";
    MeasureAndRecord();
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[1].get());
    EXPECT_EQ(host.posted, 1) << "applied at once, not through the queue";
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "SE 50") << "the filed trace keeps its own";
    MeasureAndRecord();
    MeasureAndRecord();
    ASSERT_EQ(document.Items().size(), 3u);
    EXPECT_EQ(RecordAt(0).Name, "LOT7-12A");
    EXPECT_EQ(RecordAt(1).Name, "LOT7-12B");
    EXPECT_EQ(RecordAt(1).ElementPosition, 2);
    EXPECT_EQ(RecordAt(1).Tag, 2);
    EXPECT_EQ(RecordAt(2).Name, "LOT7-13A");
    EXPECT_EQ(document.NextSampleNumber, 1) << "scripted records leave the sample counter";
}

TEST_F(ScriptedStation, AutomaticSerialsCountUp) {
    script->PromptForSerial = 0;
    station.Scripts().Start(document, *script);
    EXPECT_EQ(script->CurrentSerial, "100");
    MeasureAndRecord();
    MeasureAndRecord();
    EXPECT_EQ(script->CurrentSerial, "101");
    EXPECT_EQ(script->SerialCounter, 102);
    EXPECT_EQ(prompts.serialPrompts, 0);
}

TEST_F(ScriptedStation, CancellingTheSerialStopsTheRun) {
    prompts.serials = {std::string("1"), std::nullopt};
    station.Scripts().Start(document, *script);
    MeasureAndRecord();
    MeasureAndRecord();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_EQ(document.Items().size(), 2u);

    prompts.serials = {std::nullopt};
    EXPECT_FALSE(station.Scripts().Start(document, *script));
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
}

TEST_F(ScriptedStation, UnknownCriterionKeepsTheSelection) {
    script->Elements.back().CriterionId = 99;
    station.Scripts().Start(document, *script);
    MeasureAndRecord();
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[0].get());
    MeasureAndRecord();
    EXPECT_EQ(RecordAt(1).Name, "LOT7-B");
    EXPECT_EQ(RecordAt(1).ElementPosition, 2);
}

TEST_F(ScriptedStation, GuardAsksAndStopsOnlyOnYes) {
    station.Scripts().Start(document, *script);
    prompts.yesNoAnswers = {false, true};
    EXPECT_FALSE(station.ScriptGuard());
    EXPECT_EQ(document.ActiveScript, script);
    EXPECT_EQ(prompts.questions.at(0).caption, "Stop running script?");
    EXPECT_TRUE(station.ScriptGuard());
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_TRUE(station.ScriptGuard()) << "no script, no question";
    EXPECT_EQ(prompts.questions.size(), 2u);
}

// A batch of known size ends with its last coupon: no serial is asked or
// counted for a coupon that will not be tested.
TEST_F(ScriptedStation, StopAtCouponEndEndsTheRunWithoutANextSerial) {
    script->PromptForSerial = 0;
    script->SerialCounter = 100;
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    MeasureAndRecord();
    station.Scripts().StopAtCouponEnd();
    EXPECT_EQ(document.ActiveScript, script) << "only the end of the coupon stops the run";
    MeasureAndRecord();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_EQ(script->SerialCounter, 101);

    // The request ends with the run: a later run goes on past its coupon.
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    station.Scripts().StopAtCouponEnd();
    station.Scripts().Stop(document);
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    MeasureAndRecord();
    MeasureAndRecord();
    EXPECT_EQ(document.ActiveScript, script);
    EXPECT_EQ(script->SerialCounter, 104);
}

TEST_F(ScriptedStation, ScriptWithoutTestsDoesNotStart) {
    Script& empty = library.AddScript();
    EXPECT_FALSE(station.Scripts().Start(document, empty));
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

// The Scripted Tests command: the dialog with live mode off, the library saved
// however the dialog closed, the chosen script run over its coupons, and the
// command again stopping it without a question.
TEST_F(ScriptedStation, ScriptedTestsCommandStartsThroughTheDialogAndStops) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    script->PromptForSerial = 0;
    station.SetLiveMode(true);
    const auto outcome = station.ScriptedTests(
        [&]() -> Script* {
            EXPECT_FALSE(station.LiveMode());
            EXPECT_EQ(clock.NowMs(), 200) << "the instrument settles before the dialog";
            script->Description = "Lot impedance";
            return script;
        },
        path);
    EXPECT_EQ(outcome, ScriptedTestsOutcome::Started);
    EXPECT_FALSE(station.LiveMode()) << "starting a run does not restart live mode";
    EXPECT_EQ(document.ActiveScript, script);
    EXPECT_FALSE(selector.Enabled());
    EXPECT_EQ(host.posted, 1);
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(path).Ok());
    ASSERT_EQ(saved.Scripts.size(), 1u);
    EXPECT_EQ(saved.Scripts[0]->Description, "Lot impedance");
    EXPECT_EQ(saved.Scripts[0]->SerialCounter, 100) << "saved before the first serial is taken";

    for (int record = 0; record < 5; ++record) {
        MeasureAndRecord();
    }
    EXPECT_EQ(RecordAt(4).Name, "LOT7-102A");
    EXPECT_EQ(script->SerialCounter, 103);

    EXPECT_EQ(station.ScriptedTests([]() -> Script* { return nullptr; }, path),
              ScriptedTestsOutcome::Stopped);
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(ScriptedStation, ScriptedTestsSavesAfterCloseAndRefusesAnEmptyScript) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    EXPECT_EQ(station.ScriptedTests(
                  [&]() -> Script* {
                      script->Customer = "Acme";
                      return nullptr;  // Close
                  },
                  path),
              ScriptedTestsOutcome::NotStarted);
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(path).Ok());
    EXPECT_EQ(saved.Scripts.at(0)->Customer, "Acme");

    Script& empty = library.AddScript();
    EXPECT_EQ(station.ScriptedTests([&] { return &empty; }, path),
              ScriptedTestsOutcome::NotStarted);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].text.find("has no tests"), std::string::npos);
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());

    host.active = nullptr;
    bool shown = false;
    EXPECT_EQ(station.ScriptedTests(
                  [&]() -> Script* {
                      shown = true;
                      return script;
                  },
                  path),
              ScriptedTestsOutcome::NoCollection);
    EXPECT_FALSE(shown);
}

TEST_F(ScriptedStation, TreeFilesARunUnderScriptAndCoupons) {
    TestTree tree(document);
    struct TreeView : DocumentObserver {
        TestTree* tree;
        void OnDocumentUpdate(COrvikDoc&, DocumentObserver*,
                              const DocumentChange& change) override {
            if (change.What == DocumentChange::Kind::TraceRecorded) {
                tree->InsertRecord(*change.Recorded);
            }
        }
    } view;
    view.tree = &tree;
    document.AddObserver(&view);
    prompts.serials = {std::string("12"), std::string("13")};
    station.Scripts().Start(document, *script);
    for (int i = 0; i < 3; ++i) {
        MeasureAndRecord();
    }
    station.Scripts().Stop(document);
    MeasureAndRecord();
    document.RemoveObserver(&view);

    // Script snapshot, coupon 12, A, B, coupon 13, A, then the free trace.
    const auto& items = document.Items();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0]->TypeCode, kScriptType);
    EXPECT_EQ(dynamic_cast<CouponMarker&>(*items[1]).Serial, "12");
    EXPECT_EQ(dynamic_cast<CouponMarker&>(*items[4]).Serial, "13");
    EXPECT_EQ(dynamic_cast<TraceRecord&>(*items[6]).Name, "Sample #: 1");

    ASSERT_EQ(tree.Roots().size(), 2u);
    const TestTreeNode& scriptNode = *tree.Roots()[0];
    ASSERT_EQ(scriptNode.Children.size(), 2u);
    EXPECT_EQ(scriptNode.Children[0]->Children.size(), 2u);
    EXPECT_EQ(scriptNode.Children[1]->Children.size(), 1u);
    EXPECT_EQ(PlainText(scriptNode.Children[1]->Text), "LOT7-13");

    // A rebuild from the items gives the same grouping.
    tree.Rebuild();
    ASSERT_EQ(tree.Roots().size(), 2u);
    EXPECT_EQ(tree.Roots()[0]->Children.size(), 2u);
    EXPECT_EQ(tree.NodeCount(), 7u);
}

}  // namespace
}  // namespace orvik
