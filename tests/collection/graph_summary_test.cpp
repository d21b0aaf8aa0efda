#include "collection/graph_summary.h"

#include <gtest/gtest.h>

#include "collection/orvik_doc.h"
#include "script/script.h"

namespace orvik {
namespace {

TEST(GraphSummaryTexts, ShowStatisticsLimitsAndWindowEndFirst) {
    TraceRecord trace;
    trace.Name = "Sample #: 4";
    trace.Average = 50.456;
    trace.Maximum = 52.0;
    trace.Minimum = 48.5;
    trace.Passed = true;
    trace.Criteria.Name = "SE 50";
    trace.Criteria.StartPosition = 2.5;
    trace.Criteria.EndPosition = 8.25;
    const GraphSummary summary = SummariseTrace(trace);
    EXPECT_EQ(summary.Texts[GraphSummary::Name], "Sample #: 4");
    EXPECT_EQ(summary.Texts[GraphSummary::Average], "Avg: 50.46");
    EXPECT_EQ(summary.Texts[GraphSummary::Extremes], "Max: 52.00  Min: 48.50");
    EXPECT_EQ(summary.Texts[GraphSummary::Limits], "Max Limit: 55.00  Min Limit: 45.00");
    EXPECT_EQ(summary.Texts[GraphSummary::Window], "Max Pos: 8.25  Min Pos: 2.50");
    EXPECT_EQ(summary.Texts[GraphSummary::CriterionName], "Criteria: SE 50");
    EXPECT_EQ(summary.Texts[GraphSummary::Verdict], "50.46 - PASS");
    EXPECT_EQ(summary.VerdictColour, 0x37ff00u);

    trace.Passed = false;
    EXPECT_EQ(SummariseTrace(trace).Texts[GraphSummary::Verdict], "50.46 - FAIL");
    EXPECT_EQ(SummariseTrace(trace).VerdictColour, 0x0000ffu);
}

TEST(GraphSummaryTexts, AxisSwitchesAboveEightyFive) {
    EXPECT_EQ(ImpedanceAxisTop(85.0), 100.0);
    EXPECT_EQ(ImpedanceAxisTop(85.01), 200.0);
    EXPECT_EQ(ImpedanceAxisTop(std::numeric_limits<double>::quiet_NaN()), 100.0);
    EXPECT_EQ(ImpedanceAxisTop(std::numeric_limits<double>::infinity()), 200.0);
}

TEST(GraphSummaryTexts, ScriptPromptNamesCouponAndTest) {
    COrvikDoc document;
    EXPECT_FALSE(ScriptPromptText(document));
    Script script;
    script.Prefix = "LOT7-";
    script.CurrentSerial = "12";
    script.AddElement().Postfix = "A";
    script.AddElement().Postfix = "B";
    document.ActiveScript = &script;
    EXPECT_FALSE(ScriptPromptText(document));
    document.ActiveElement = &script.Elements.back();
    EXPECT_EQ(*ScriptPromptText(document),
              "Record a measurement for coupon:\n LOT7-12\n test #2 (B)");
}

TEST(GraphSummaryTexts, NotANumberAverageStillFormats) {
    TraceRecord trace;
    trace.Average = std::numeric_limits<double>::quiet_NaN();
    trace.Passed = true;
    EXPECT_NE(SummariseTrace(trace).Texts[GraphSummary::Verdict].find("PASS"), std::string::npos);
}

}  // namespace
}  // namespace orvik
