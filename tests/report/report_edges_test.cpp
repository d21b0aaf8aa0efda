// Reports at their edges: a trace with nothing in its window, and collections
// crafted to make a report without end.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "collection/orvik_doc.h"
#include "report/report_builder.h"
#include "report/report_layout.h"
#include "report/report_lines.h"
#include "script/script.h"

namespace orvik {
namespace {

// A trace measured as Run Test measures it, judged by a criterion whose
// window lies beyond the trace's 10 inches: its average is the NaN that
// 0 / 0 leaves (sign bit set on this machine's arithmetic).
std::unique_ptr<TraceRecord> BeyondTheWindow(const std::string& name, std::int32_t tag) {
    Criterion criterion;
    criterion.Id = 3;
    criterion.StartPosition = 11.0;
    criterion.EndPosition = 12.0;
    auto trace = std::make_unique<TraceRecord>();
    trace->FillFromAcquisition(&criterion, std::vector<double>(kProfileSampleCount, 50.0), 0);
    trace->Name = name;
    trace->Tag = tag;
    trace->ElementPosition = tag == kTagScriptedRun ? 1 : 0;
    return trace;
}

TEST(ReportOfAnEmptyWindow, ReadsNanAndFailEverywhere) {
    COrvikDoc document;
    auto script = std::make_unique<Script>();
    script->Tag = kTagScriptedRun;
    script->AddElement().CriterionId = 3;
    document.AppendItem(std::move(script));
    document.AppendItem(std::make_unique<CouponMarker>("C1"));
    document.AppendItem(BeyondTheWindow("t", kTagScriptedRun));
    document.AppendItem(BeyondTheWindow("Sample #: 1", kTagOutsideScript));
    ASSERT_TRUE(std::signbit(static_cast<const TraceRecord&>(*document.Items()[2]).Average))
        << "the point of this test is a NaN with its sign bit set";

    const ReportBuilder builder(document.Items(), ReportPreferences());
    const std::string dashes(120, '-');
    EXPECT_EQ(builder.Text(),
              "\r\n\r\n\r\nTel: \r\nFax: \r\nEmail: \r\nWeb: \r\n"
              "Korveth MV300 - Orvik Script Report\r\n"
              "Customer:              Operator:       \r\n"
              "Job Number:              Station ID:       \r\n"
              "Test #       Postfix       Z Nominal       Differential       Tolerance +/-\r\n" +
                  dashes + "\r\n" +
                  "1              50.00       No       %10.0\r\n"
                  "Boards Logged:       1\r\nBoards Tested:       1\r\n"
                  "Boards Passed:       0\r\nBoards Failed:       1\r\n"
                  "Serial #       Result       Test 1\r\n" +
                  dashes + "\r\n" +
                  "C1       Fail       nan\r\n"
                  "Korveth MV300 - Orvik Script Report\r\n"
                  "Coupon Name       Result       Average       Z Nominal       Tolerance       "
                  "Differential\r\n" +
                  dashes + "\r\n" +
                  "Sample #: 1       Fail       nan       50.00       10.0       No\r\n");
    const std::vector<std::string> tab = builder.TabLines(kTextDashCount);
    EXPECT_EQ(tab[tab.size() - 1], "Sample #: 1\tFail\tnan\t50.00\t10.0\tNo");
    EXPECT_EQ(tab[19], "C1\tFail\tnan");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::quiet_NaN(), 2), "nan");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 1), "-inf");
}

// One script of `tests` tests over `coupons` coupons, each with one trace.
COrvikDoc& CraftedRun(COrvikDoc& document, int tests, int coupons) {
    auto script = std::make_unique<Script>();
    for (int n = 0; n < tests; ++n) {
        script->AddElement().CriterionId = n;
    }
    document.AppendItem(std::move(script));
    for (int k = 0; k < coupons; ++k) {
        document.AppendItem(std::make_unique<CouponMarker>(std::to_string(k)));
        auto trace = std::make_unique<TraceRecord>();
        trace->Tag = kTagScriptedRun;
        trace->ElementPosition = tests;  // beyond the grid when tests > 99
        trace->Average = 50;
        trace->Passed = true;
        document.AppendItem(std::move(trace));
    }
    return document;
}

TEST(ReportOfACraftedCollection, IsBoundedByWhatTheGridCanShow) {
    COrvikDoc document;
    const ReportBuilder builder(CraftedRun(document, 20000, 1000).Items(), ReportPreferences());
    const ScriptReportSection& run = builder.Content().Scripts.at(0);
    EXPECT_EQ(run.Tests.size(), 99u);
    EXPECT_EQ(run.TestCount, 99);
    EXPECT_EQ(run.Logged, 1000);
    EXPECT_TRUE(builder.Content().GridLimited());

    // 1,000 rows of 99 values: about a megabyte, where all 20,000 columns
    // made 221 MB.
    const std::string text = builder.Text();
    EXPECT_LT(text.size(), 1'200'000u);
    EXPECT_EQ(text.find("Test 100"), std::string::npos);

    // On paper: the run's page or two, then 23 coupon blocks by 20 test blocks.
    const ReportMetrics letter{300.0, 300.0, 40, ReportMedium::Paper, 2550, 3300};
    EXPECT_LE(LayOutReport(builder.Content(), letter).Pages.size(), 2u + 23 * 20 + 1);
}

// A collection of `runs` scripts, each of `tests` tests over `coupons` coupons.
COrvikDoc& CraftedRuns(COrvikDoc& document, int runs, int tests, int coupons) {
    for (int r = 0; r < runs; ++r) {
        CraftedRun(document, tests, coupons);
    }
    return document;
}

TEST(ReportOfACraftedCollection, ListsRunsUpToWhatAFewSecondsOfPaperHold) {
    struct Case {
        int runs, tests, coupons, smallRunsAfter;
        std::size_t listed;
        bool limited;
    };
    const Case cases[] = {
        {250, 0, 0, 0, 250, false},  // the last run that fits
        {251, 0, 0, 0, 250, true},   // one more is left out
        {7000, 0, 0, 0, 250, true},  // was 7,000 pages
        {3, 99, 1000, 0, 3, false},  // the third run starts under 200,000 results
        {3, 99, 1000, 1, 3, true},   // a fourth does not
        {4, 50, 1000, 1, 4, true},   // exactly 200,000 after four runs
        {3, 50, 1000, 2, 5, false},  // 150,000: small runs still fit
    };
    for (const Case& c : cases) {
        COrvikDoc document;
        CraftedRuns(document, c.runs, c.tests, c.coupons);
        CraftedRuns(document, c.smallRunsAfter, 1, 1);
        const ReportBuilder builder(document.Items(), ReportPreferences());
        const ReportContent& content = builder.Content();
        SCOPED_TRACE(c.runs);
        EXPECT_EQ(content.Scripts.size(), c.listed);
        EXPECT_EQ(content.RunsLimited, c.limited);
        EXPECT_EQ(content.LimitNote().find(kRunsLimitedNote) != std::string::npos, c.limited);
    }
}

}  // namespace
}  // namespace orvik
