// Operating orders that used to crash or file wrong records: a criterion
// deleted under the selector, pedals behind a dialog, two collections running
// scripts side by side, a resumed run, and the verdict shown after a record.
#include <gtest/gtest.h>

#include <set>

#include "app/test_station.h"
#include "collection/test_tree.h"
#include "criteria/criteria_manager.h"
#include "script/script.h"
#include "station_fixture.h"

namespace orvik {
namespace {

using testing::ScriptedStation;
using testing::Station;

// The Criteria Manager deletes criteria while the trigger poll still runs:
// the selector lets go of each one at once, keeping the choice when another
// one went, and Run Test then finds nothing selected instead of a freed one.
TEST_F(Station, SelectorLetsGoOfADeletedCriterion) {
    selector.SelectIndex(1);  // "Diff 100"
    CriteriaManagerModel manager(library);
    manager.SelectIndex(1);  // "SE 50" (sorted after "Diff 100")
    ASSERT_TRUE(manager.DeleteSelected());
    ASSERT_EQ(selector.Entries().size(), 1u);
    ASSERT_NE(selector.SelectedCriterion(), nullptr);
    EXPECT_EQ(selector.SelectedCriterion()->Name, "Diff 100");

    manager.SelectIndex(0);
    ASSERT_TRUE(manager.DeleteSelected());
    EXPECT_TRUE(selector.Entries().empty());
    EXPECT_EQ(selector.SelectedCriterion(), nullptr);
    station.TriggerRunTest();
    EXPECT_EQ(instrument.acquisitions, 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kNoCriteriaSelected);
}

TEST_F(Station, LoadingTheLibraryEmptiesTheSelectorFirst) {
    selector.SelectIndex(0);
    (void)library.Load("/nonexistent/criteria.dat");
    EXPECT_TRUE(selector.Entries().empty());
    EXPECT_EQ(selector.SelectedCriterion(), nullptr);
}

// Pedals pressed while a modal window is open do nothing, whichever window.
TEST_F(Station, TriggerInputsWaitWhileAModalWindowIsOpen) {
    selector.SelectIndex(0);
    station.RunTest(document);
    host.modalOpen = true;
    station.TriggerRecordTest();
    station.TriggerRunTest();
    EXPECT_EQ(instrument.acquisitions, 1);
    EXPECT_TRUE(document.Items().empty());
    host.modalOpen = false;
    station.TriggerRecordTest();
    station.TriggerRunTest();
    EXPECT_EQ(document.Items().size(), 1u);
    EXPECT_EQ(instrument.acquisitions, 2);
}

// Right after a scripted record the collection still shows that record, with
// the verdict of the criterion it was measured for; the next Run Test is
// judged by the next test's criterion.
TEST_F(ScriptedStation, RecordedTraceKeepsItsVerdictWhenTheRunMovesOn) {
    script->PromptForSerial = 0;
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    station.ApplySelectedCriterion();  // what the host's queue delivers
    MeasureAndRecord();
    EXPECT_EQ(selector.SelectedCriterion()->Name, "Diff 100");
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "SE 50");
    EXPECT_TRUE(document.TraceTemplate.Passed);
    station.RunTest(document);
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "Diff 100");
    EXPECT_TRUE(instrument.differential);
}

// Two collections, each running a script with the same two tests: each
// measures its next test with its own criterion, whichever recorded last.
TEST_F(ScriptedStation, EachCollectionMeasuresItsOwnNextTest) {
    Script& twin = library.AddScript();
    twin.PromptForSerial = 0;
    twin.AddElement().CriterionId = library.Criteria[0]->Id;
    twin.AddElement().CriterionId = library.Criteria[1]->Id;
    script->PromptForSerial = 0;
    COrvikDoc second;
    host.open = {&document, &second};
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    host.active = &second;
    station.CollectionActivated(second);
    ASSERT_TRUE(station.Scripts().Start(second, twin));

    host.active = &document;
    station.CollectionActivated(document);
    MeasureAndRecord();  // test A of the first collection: the selector moves to B
    host.active = &second;
    station.CollectionActivated(second);
    EXPECT_FALSE(selector.Enabled());
    EXPECT_EQ(selector.SelectedCriterion()->Name, "SE 50");
    station.RunTest(second);
    station.RecordTest(second);
    const auto& filed = dynamic_cast<const TraceRecord&>(*second.Items().at(0));
    EXPECT_EQ(filed.Criteria.Name, "SE 50");
    EXPECT_FALSE(instrument.differential);

    station.Scripts().Stop(second);
    station.CollectionActivated(second);
    EXPECT_TRUE(selector.Enabled()) << "a collection without a run frees the selector";
}

// A script runs in one collection at a time: a second collection's Run is
// refused with the name of the collection that runs it.
TEST_F(ScriptedStation, ARunningScriptDoesNotStartInASecondCollection) {
    script->PromptForSerial = 0;
    script->Description = "Impedance";
    document.SetTitle("Lot 7");
    COrvikDoc second;
    host.open = {&document, &second};
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    EXPECT_FALSE(station.Scripts().Start(second, *script));
    EXPECT_EQ(second.ActiveScript, nullptr);
    EXPECT_EQ(script->SerialCounter, 101) << "the run's counter is untouched";
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "The script \"Impedance\" is running in the collection \"Lot 7\".\n"
              "Stop that run before starting it here.");
    station.Scripts().Stop(document);
    EXPECT_TRUE(station.Scripts().Start(second, *script));
}

// The scripted station with the test tree filing its records, as the
// collection window has it.
class ResumedRun : public ScriptedStation, public ::testing::WithParamInterface<int> {
  protected:
    ResumedRun() {
        view.tree = &tree;
        document.AddObserver(&view);
    }
    ~ResumedRun() override { document.RemoveObserver(&view); }

    // One text field of each item of one kind, in list order.
    template <class Item>
    std::vector<std::string> Texts(std::string Item::*field) const {
        std::vector<std::string> texts;
        for (const auto& item : document.Items()) {
            if (const auto* typed = dynamic_cast<const Item*>(item.get())) {
                texts.push_back(typed->*field);
            }
        }
        return texts;
    }
    std::vector<std::string> Names() const { return Texts(&TraceRecord::Name); }
    // Every node's kind and text, nested as the tree shows them.
    static std::string Shape(const std::vector<std::unique_ptr<TestTreeNode>>& nodes) {
        std::string shape;
        for (const auto& node : nodes) {
            shape += "(" + std::to_string(static_cast<int>(node->NodeKind)) + node->Text +
                     Shape(node->Children) + ")";
        }
        return shape;
    }
    bool ResumeFirstScriptNode() {
        Script* item = tree.ScriptToResume(tree.Roots().at(0).get());
        return item != nullptr && station.Scripts().Resume(document, *item);
    }

    struct View : DocumentObserver {
        void OnDocumentUpdate(COrvikDoc&, DocumentObserver*,
                              const DocumentChange& change) override {
            if (change.What == DocumentChange::Kind::TraceRecorded) {
                tree->InsertRecord(*change.Recorded);
            }
        }
        TestTree* tree = nullptr;
    };
    TestTree tree{document};
    View view;
};

// Stopped after GetParam() records of coupons 100, 101, ..., the resumed run
// files exactly the names the run would have filed next: no coupon twice,
// none skipped, one marker per coupon, and a tree that a rebuild gives again.
TEST_P(ResumedRun, GoesOnWhereTheRunStopped) {
    const std::vector<std::string> expected = {"LOT7-100A", "LOT7-100B", "LOT7-101A",
                                               "LOT7-101B", "LOT7-102A", "LOT7-102B",
                                               "LOT7-103A", "LOT7-103B", "LOT7-104A"};
    const int stoppedAfter = GetParam();
    script->PromptForSerial = 0;
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    for (int i = 0; i < stoppedAfter; ++i) {
        MeasureAndRecord();
    }
    station.Scripts().Stop(document);
    ASSERT_TRUE(ResumeFirstScriptNode());
    for (int i = 0; i < 3; ++i) {
        MeasureAndRecord();
    }
    EXPECT_EQ(Names(),
              std::vector<std::string>(expected.begin(), expected.begin() + stoppedAfter + 3));
    const std::vector<std::string> serials = Texts(&CouponMarker::Serial);
    EXPECT_EQ(std::set<std::string>(serials.begin(), serials.end()).size(), serials.size());
    const std::size_t nodes = tree.NodeCount();
    tree.Rebuild();
    EXPECT_EQ(tree.NodeCount(), nodes);
}

INSTANTIATE_TEST_SUITE_P(StopPoints, ResumedRun, ::testing::Values(1, 3, 4, 6));

// A prompted script: an unfinished coupon is finished without a question; a
// finished one is followed by a coupon whose serial is asked for.
TEST_F(ResumedRun, PromptedSerialsAreAskedOnlyForANewCoupon) {
    prompts.serials = {std::string("12"), std::string("13")};
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    MeasureAndRecord();
    station.Scripts().Stop(document);
    ASSERT_TRUE(ResumeFirstScriptNode());
    EXPECT_EQ(prompts.serialPrompts, 1);
    MeasureAndRecord();
    station.Scripts().Stop(document);
    prompts.serials = {std::nullopt};
    EXPECT_FALSE(ResumeFirstScriptNode()) << "a cancelled serial resumes nothing";
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    prompts.serials = {std::string("13")};
    ASSERT_TRUE(ResumeFirstScriptNode());
    MeasureAndRecord();
    EXPECT_EQ(Names(), (std::vector<std::string>{"LOT7-12A", "LOT7-12B", "LOT7-13A"}));
}

// Records of another script's run never join the script node of the run
// before it, also when a resume of that node did not start.
TEST_F(ResumedRun, EachRunOfAnotherScriptOpensItsOwnNode) {
    Script& other = library.AddScript();
    other.PromptForSerial = 0;
    other.AddElement().CriterionId = library.Criteria[0]->Id;
    prompts.serials = {std::string("12")};
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    MeasureAndRecord();
    MeasureAndRecord();
    station.Scripts().Stop(document);
    prompts.serials = {std::nullopt};
    ASSERT_FALSE(ResumeFirstScriptNode());
    ASSERT_TRUE(station.Scripts().Start(document, other));
    MeasureAndRecord();
    ASSERT_EQ(tree.Roots().size(), 2u);
    EXPECT_EQ(tree.Roots()[1]->Children.at(0)->Children.size(), 1u);
    const std::size_t nodes = tree.NodeCount();
    tree.Rebuild();
    EXPECT_EQ(tree.NodeCount(), nodes);
}

// A script item with nothing filed under it and no coupon named (as a file
// whose coupons were deleted opens) resumes with a new coupon, never with
// traces named without a serial.
TEST_F(ResumedRun, NothingFiledAndNoSerialTakesANewCoupon) {
    script->PromptForSerial = 0;
    auto& item =
        dynamic_cast<Script&>(document.InsertBefore(nullptr, std::make_unique<Script>(*script)));
    item.CurrentSerial.clear();
    tree.Rebuild();
    ASSERT_TRUE(ResumeFirstScriptNode());
    MeasureAndRecord();
    EXPECT_EQ(Names(), std::vector<std::string>{"LOT7-100A"});
}

// A run resumed after the collection has filed something else (a trace
// recorded outside the script, another script's run) finishes its coupon
// under a node of its own: the tree shows what a reopened file shows.
TEST_F(ResumedRun, ResumedAfterOtherRecordsOpensItsOwnNode) {
    Script& other = library.AddScript();
    other.PromptForSerial = 0;
    other.AddElement().CriterionId = library.Criteria[0]->Id;
    for (bool scripted : {false, true}) {
        SCOPED_TRACE(scripted ? "after another script's run" : "after an unscripted trace");
        script->PromptForSerial = 0;
        ASSERT_TRUE(station.Scripts().Start(document, *script));
        MeasureAndRecord();
        station.Scripts().Stop(document);
        if (scripted) {
            ASSERT_TRUE(station.Scripts().Start(document, other));
        }
        MeasureAndRecord();
        station.Scripts().Stop(document);
        ASSERT_TRUE(ResumeFirstScriptNode());
        MeasureAndRecord();
        EXPECT_EQ(Names().back(), Names().front().substr(0, Names().front().size() - 1) + "B");
        const std::string shown = Shape(tree.Roots());
        tree.Rebuild();
        EXPECT_EQ(Shape(tree.Roots()), shown);
        station.Scripts().Stop(document);
        document.ClearItems();
        tree.Rebuild();
    }
}

}  // namespace
}  // namespace orvik
