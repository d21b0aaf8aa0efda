#include "collection/test_tree.h"

#include <gtest/gtest.h>

#include "chart/coloured_text.h"
#include "collection/orvik_doc.h"
#include "script/script.h"

namespace orvik {
namespace {

std::unique_ptr<TraceRecord> Trace(const std::string& name, std::int32_t tag, double average,
                                   bool passed, bool differential = false) {
    auto trace = std::make_unique<TraceRecord>();
    trace->Name = name;
    trace->Tag = tag;
    trace->Average = average;
    trace->Passed = passed;
    trace->Criteria.DoubleEnded = differential ? 1 : 0;
    return trace;
}

std::unique_ptr<Script> ScriptItem(const std::string& description, const std::string& prefix) {
    auto script = std::make_unique<Script>();
    script->Description = description;
    script->Prefix = prefix;
    script->AddElement().CriterionId = 0;
    return script;
}

TEST(TestTreeText, TraceLinesCarryModeNameAverageAndVerdict) {
    const auto single = Trace("Sample #: 1", 0, 50.456, true);
    EXPECT_EQ(PlainText(TestTree::TraceText(*single)), "SD - Sample #: 1,  50.46   PASS");
    EXPECT_EQ(
        TestTree::TraceText(*single),
        ColourText("SD - ", 0xb40519) + "Sample #: 1,  50.46   " + ColourText("PASS", 0x0fbe00));
    const auto differential = Trace("d", 2, 99.0, false, true);
    EXPECT_EQ(TestTree::TraceText(*differential),
              ColourText("DD - ", 0x28f0f0) + "d,  99.00   " + ColourText("FAIL", 0x3700ff));
}

class TreeOfCollection : public ::testing::Test {
  protected:
    // Script "Lot" (prefix P-), coupon 1 with two traces, coupon 2 with one,
    // then a trace outside the script and a stray coupon marker.
    void SetUp() override {
        document.AppendItem(ScriptItem("Lot", "P-"));
        document.AppendItem(std::make_unique<CouponMarker>("1"));
        document.AppendItem(Trace("P-1A", 2, 50, true));
        document.AppendItem(Trace("P-1B", 2, 50, true));
        document.AppendItem(std::make_unique<CouponMarker>("2"));
        document.AppendItem(Trace("P-2A", 2, 50, true));
        document.AppendItem(Trace("free", 0, 60, false));
        document.AppendItem(std::make_unique<CouponMarker>("3"));
        document.AppendItem(Trace("after", 2, 50, true));
        tree.Rebuild();
    }

    COrvikDoc document;
    TestTree tree{document};
};

TEST_F(TreeOfCollection, RebuildGroupsScriptsCouponsAndTraces) {
    const auto& roots = tree.Roots();
    ASSERT_EQ(roots.size(), 3u);
    EXPECT_EQ(PlainText(roots[0]->Text), "Lot");
    ASSERT_EQ(roots[0]->Children.size(), 2u);
    EXPECT_EQ(PlainText(roots[0]->Children[0]->Text), "P-1");
    EXPECT_EQ(roots[0]->Children[0]->Children.size(), 2u);
    EXPECT_TRUE(roots[0]->Expanded);
    EXPECT_TRUE(roots[0]->Children[0]->Expanded);
    EXPECT_EQ(roots[1]->NodeKind, TestTreeNode::Kind::Trace);
    // The free trace ended the grouping: the later marker has no script.
    EXPECT_EQ(roots[2]->NodeKind, TestTreeNode::Kind::Coupon);
    EXPECT_EQ(roots[2]->Text, "");
    ASSERT_EQ(roots[2]->Children.size(), 1u);
    EXPECT_EQ(dynamic_cast<Script&>(*document.Items()[0]).CurrentSerial, "2");
}

TEST_F(TreeOfCollection, DeletingAScriptTakesItsCouponsAndTraces) {
    EXPECT_EQ(TestTree::DeleteQuestion(*tree.Roots()[0]), "Do you want to delete \"Lot\" ?");
    EXPECT_FALSE(tree.DeleteNode(tree.Roots()[0].get()));
    ASSERT_EQ(document.Items().size(), 3u);
    EXPECT_EQ(dynamic_cast<TraceRecord&>(*document.Items()[0]).Name, "free");
    EXPECT_EQ(tree.Roots().size(), 2u);
    EXPECT_TRUE(document.IsModified()) << "closing must not throw the deletion away unasked";
}

TEST_F(TreeOfCollection, DeletingTheLastTraceOfACouponTakesOnlyThatTrace) {
    TestTreeNode* coupon = tree.Roots()[0]->Children[1].get();
    tree.DeleteNode(coupon->Children[0].get());
    EXPECT_TRUE(coupon->Children.empty());
    EXPECT_EQ(document.Items().size(), 8u);
    EXPECT_EQ(document.Items()[4]->TypeCode, kCouponMarkerType);
}

TEST_F(TreeOfCollection, ResumingAScriptItemGroupsTheNextRecordsUnderIt) {
    EXPECT_EQ(tree.ScriptToResume(tree.Roots()[1].get()), nullptr);
    EXPECT_EQ(tree.ScriptToResume(nullptr), nullptr);
    Script* script = tree.ScriptToResume(tree.Roots()[0].get());
    ASSERT_NE(script, nullptr);
    document.ActiveScript = script;
    document.ActiveElement = &script->Elements.front();
    script->CurrentSerial = "9";

    // The script's records do not end the collection (a free trace and
    // another coupon follow them), so the resumed run's records open a script
    // node of their own, which is where a reopened file shows them.
    auto& record = static_cast<TraceRecord&>(document.AppendItem(Trace("P-9A", 2, 50, true)));
    const TreeInsertion inserted = tree.InsertRecord(record);
    ASSERT_NE(inserted.ScriptNode, nullptr);
    EXPECT_EQ(inserted.ScriptNode, tree.Roots().back().get());
    ASSERT_NE(inserted.CouponNode, nullptr);
    EXPECT_EQ(inserted.CouponNode->Parent, inserted.ScriptNode);
    EXPECT_EQ(PlainText(inserted.CouponNode->Text), "P-9");
    // The script item and the marker went in just before the record.
    const auto& items = document.Items();
    EXPECT_EQ(dynamic_cast<CouponMarker&>(*items[items.size() - 2]).Serial, "9");
    EXPECT_EQ(dynamic_cast<Script&>(*items[items.size() - 3]).Description, "Lot");
    const std::size_t nodes = tree.NodeCount();
    tree.Rebuild();
    EXPECT_EQ(tree.NodeCount(), nodes);
    EXPECT_EQ(PlainText(tree.Roots().back()->Children.at(0)->Text), "P-9");

    // Deleting the running script item stops the run.
    EXPECT_TRUE(tree.DeleteNode(tree.Roots()[0].get()));
    EXPECT_EQ(document.ActiveScript, nullptr);
}

TEST(TestTreeInsertion, ARecordOutsideARunStandsAloneAtTheTop) {
    COrvikDoc document;
    TestTree tree(document);
    tree.Rebuild();
    auto& record =
        static_cast<TraceRecord&>(document.AppendItem(Trace("Sample #: 1", 0, 50, true)));
    const TreeInsertion inserted = tree.InsertRecord(record);
    ASSERT_NE(inserted.TraceNode, nullptr);
    EXPECT_EQ(inserted.TraceNode->Parent, nullptr);
    EXPECT_EQ(inserted.ScriptNode, nullptr);
    EXPECT_EQ(inserted.CouponNode, nullptr);
    EXPECT_EQ(document.Items().size(), 1u) << "no script snapshot or marker outside a run";
    ASSERT_EQ(tree.Roots().size(), 1u);
}

// Every text of a tree line reads at 3:1 or better in both colour sets, on
// a plain row and on the selection bar: against its outline where it has
// one, else against what lies behind it. The usual set keeps each colour.
TEST(TreeColourSets, EveryTreeTextReadsAtThreeToOne) {
    for (const TreeColours& set : {kUsualTreeColours, kHighContrastTreeColours}) {
        for (const ChartColour colour : kTreeTextColours) {
            const TextInk ink = InkOn(colour, set.Background, set.HighContrast);
            EXPECT_GE(ContrastRatio(ink.Text, ink.Edge(set.Background)), kReadableContrast)
                << std::hex << colour << " on " << set.Background;
            if (set.HighContrast) {
                EXPECT_FALSE(ink.Outline) << "lifted, not outlined";
                EXPECT_GE(ContrastRatio(ink.Text, set.Background), kComfortableContrast);
            } else {
                EXPECT_EQ(ink.Text, colour) << "the usual colours stay";
            }
            const ChartColour selected = ReadableOn(colour, set.Selection);
            EXPECT_GE(ContrastRatio(selected, set.Selection), kReadableContrast)
                << std::hex << colour << " selected";
        }
        EXPECT_GE(ContrastRatio(set.SelectedText, set.Selection), kReadableContrast);
    }
    // The faults the outline mends: yellow "DD", green PASS and red FAIL on
    // the grey-green rows; the black names need none.
    for (const ChartColour weak : {kDoubleEndedColour, kPassColour, kFailColour}) {
        EXPECT_LT(ContrastRatio(weak, kUsualTreeColours.Background), kReadableContrast);
    }
    EXPECT_FALSE(InkOn(kBlack, kUsualTreeColours.Background, false).Outline);
}

}  // namespace
}  // namespace orvik
