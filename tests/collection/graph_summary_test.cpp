#include "collection/graph_summary.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "chart/axis_scaling.h"
#include "chart/coloured_text.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"
#include "comma_locale.h"
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

// Before any measurement, and after a failed one, the graph shows neither
// statistics nor a verdict: a criterion chosen first must not paint
// "0.00 - FAIL" over an empty graph.
TEST(GraphSummaryTexts, NoMeasurementShowsNoNumbersAndNoVerdict) {
    COrvikDoc document;
    document.TraceTemplate.Criteria.Name = "SE 50";
    document.TraceTemplate.Evaluate();
    for (const CurrentTraceKind kind :
         {CurrentTraceKind::NoMeasurement, CurrentTraceKind::FailedTest}) {
        document.CurrentKind = kind;
        const GraphSummary summary = SummariseCurrentTrace(document);
        EXPECT_EQ(summary.Texts[GraphSummary::Name],
                  kind == CurrentTraceKind::FailedTest ? kFailedTestText : kNoMeasurementText);
        for (const GraphSummary::Label empty : {GraphSummary::Time, GraphSummary::Average,
                                                GraphSummary::Extremes, GraphSummary::Verdict}) {
            EXPECT_EQ(summary.Texts[empty], "") << "label " << empty;
        }
        EXPECT_EQ(summary.Texts[GraphSummary::CriterionName], "Criteria: SE 50");
        EXPECT_EQ(summary.Texts[GraphSummary::Limits], "Max Limit: 55.00  Min Limit: 45.00");
    }
    document.CurrentKind = CurrentTraceKind::Measurement;
    document.TraceTemplate.Average = 50.0;
    document.TraceTemplate.Passed = true;
    EXPECT_EQ(SummariseCurrentTrace(document).Texts[GraphSummary::Verdict], "50.00 - PASS");

    document.TraceTemplate.Average = 120.0;
    EXPECT_EQ(CurrentImpedanceAxisTop(document), 200.0);
    document.CurrentKind = CurrentTraceKind::FailedTest;
    EXPECT_EQ(CurrentImpedanceAxisTop(document), 100.0);
}

// A desktop with decimal commas changes nothing in the numbers the system
// writes for itself: the tree line, the graph labels and the axis labels.
TEST(GraphSummaryTexts, NumbersKeepTheDecimalPointOnACommaDesktop) {
    testing::CommaLocale comma;
    if (!comma.Active()) {
        GTEST_SKIP() << comma.Reason();
    }
    char check[16];
    std::snprintf(check, sizeof check, "%.2f", 52.0);
    ASSERT_STREQ(check, "52,00") << "the comma locale is in force";

    TraceRecord trace;
    trace.Name = "Sample #: 1";
    trace.Average = 52.0;
    trace.Maximum = 53.5;
    trace.Minimum = 50.25;
    trace.Passed = true;
    const GraphSummary summary = SummariseTrace(trace);
    EXPECT_EQ(summary.Texts[GraphSummary::Average], "Avg: 52.00");
    EXPECT_EQ(summary.Texts[GraphSummary::Extremes], "Max: 53.50  Min: 50.25");
    EXPECT_EQ(summary.Texts[GraphSummary::Window], "Max Pos: 7.00  Min Pos: 4.00");
    EXPECT_EQ(summary.Texts[GraphSummary::Verdict], "52.00 - PASS");
    EXPECT_EQ(PlainText(TestTree::TraceText(trace)), "SD - Sample #: 1,  52.00   PASS");
    EXPECT_EQ(FormatTickValue("%.2f", 1.5, false), "1.50");
    EXPECT_EQ(FormatTickValue("%5.1f", -2.25, false), " -2.2");
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
    Criterion criterion;
    EXPECT_EQ(*ScriptPromptText(document, &criterion),
              "Record a measurement for coupon:\n LOT7-12\n test #2 (B)\n on the single-ended "
              "cable");
    criterion.DoubleEnded = 1;
    EXPECT_TRUE(ScriptPromptText(document, &criterion)->ends_with("\n on the differential cables"));
}

TEST(GraphSummaryTexts, NotANumberAverageStillFormats) {
    TraceRecord trace;
    trace.Average = std::numeric_limits<double>::quiet_NaN();
    trace.Passed = true;
    EXPECT_NE(SummariseTrace(trace).Texts[GraphSummary::Verdict].find("PASS"), std::string::npos);
}

}  // namespace
}  // namespace orvik
