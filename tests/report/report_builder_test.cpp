#include "report/report_builder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "collection/orvik_doc.h"
#include "report/report_lines.h"
#include "script/script.h"

namespace orvik {
namespace {

const std::string kDashes(120, '-');

ReportPreferences Company() {
    ReportPreferences preferences;
    preferences.CompanyName = "Acme Boards";
    preferences.Address1 = "1 Main St";
    preferences.Address2 = "Springfield";
    preferences.Telephone = "555-0100";
    preferences.Fax = "555-0101";
    preferences.Email = "qa@acme.test";
    preferences.Web = "acme.test";
    preferences.DefaultPrefix = "never printed";
    return preferences;
}

const char* const kCompanyText =
    "Acme Boards\r\n1 Main St\r\nSpringfield\r\nTel: 555-0100\r\nFax: 555-0101\r\n"
    "Email: qa@acme.test\r\nWeb: acme.test\r\n";
const char* const kBanner = "Korveth MV300 - Orvik Script Report\r\n";

Criterion MakeCriterion(std::int32_t id, double target, double error, bool differential) {
    Criterion criterion;
    criterion.Id = id;
    criterion.TargetImpedance = target;
    criterion.AllowableError = error;
    criterion.DoubleEnded = differential ? 1 : 0;
    return criterion;
}

class ReportOf : public ::testing::Test {
  protected:
    TraceRecord& AddTrace(const std::string& name, std::int32_t tag, double average, bool passed,
                          const Criterion& criterion = MakeCriterion(1, 50, 10, false),
                          std::int32_t position = 0) {
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = name;
        trace->Tag = tag;
        trace->Average = average;
        trace->Passed = passed;
        trace->Criteria = criterion;
        trace->ElementPosition = position;
        return static_cast<TraceRecord&>(document.AppendItem(std::move(trace)));
    }
    TraceRecord& AddScripted(std::int32_t position, double average, bool passed,
                             const Criterion& criterion) {
        return AddTrace("t", kTagScriptedRun, average, passed, criterion, position);
    }
    Script& AddScript(const std::vector<std::pair<std::int32_t, std::string>>& elements) {
        auto script = std::make_unique<Script>();
        script->Tag = kTagScriptedRun;
        script->Customer = "Zeta";
        script->Operator = "Kim";
        script->JobNumber = "J-42";
        script->StationId = "S1";
        for (const auto& [criterionId, postfix] : elements) {
            ScriptElement& element = script->AddElement();
            element.CriterionId = criterionId;
            element.Postfix = postfix;
        }
        return static_cast<Script&>(document.AppendItem(std::move(script)));
    }
    void AddMarker(const std::string& serial) {
        document.AppendItem(std::make_unique<CouponMarker>(serial));
    }
    std::string Text(const ReportPreferences& preferences = Company()) const {
        return ReportBuilder(document.Items(), preferences).Text();
    }

    COrvikDoc document;
};

TEST_F(ReportOf, EmptyCollectionIsTheCompanyHeaderAndTheBanner) {
    EXPECT_EQ(Text(), std::string(kCompanyText) + kBanner);
    // Empty details still give their lines, the contact labels alone.
    EXPECT_EQ(Text(ReportPreferences()),
              "\r\n\r\n\r\nTel: \r\nFax: \r\nEmail: \r\nWeb: \r\n" + std::string(kBanner));
}

TEST_F(ReportOf, UnscriptedTracesListOneRowEach) {
    AddTrace("Sample #: 1", kTagOutsideScript, 50.456, true, MakeCriterion(1, 50, 10, false));
    AddTrace("Diff pair", kTagOutsideScript, 101.004, false, MakeCriterion(2, 100, 7.25, true));
    EXPECT_EQ(Text(), std::string(kCompanyText) + kBanner +
                          "Coupon Name       Result       Average       Z Nominal       Tolerance"
                          "       Differential\r\n" +
                          kDashes +
                          "\r\n"
                          "Sample #: 1       Pass       50.46       50.00       10.0       No\r\n"
                          "Diff pair       Fail       101.00       100.00       7.2       Yes\r\n");
}

// One run: element B's criterion was used by no trace, A and C share one
// criterion; coupon 101 has a failed trace, 102 none, 103 one of three tests.
class ScriptedRun : public ReportOf {
  protected:
    void SetUp() override {
        AddScript({{7, "A"}, {9, "B"}, {7, "C"}});
        AddMarker("101");
        AddScripted(1, 50.123, true, MakeCriterion(7, 50, 12.5, false));
        AddScripted(2, 49.996, false, MakeCriterion(8, 60, 5, false));
        AddScripted(3, 51.25, true, MakeCriterion(7, 55, 3, true));
        AddMarker("102");
        AddMarker("103");
        AddScripted(1, 50.5, true, MakeCriterion(7, 50, 12.5, false));
    }
};

const char* const kRunText =
    "Korveth MV300 - Orvik Script Report\r\n"
    "Customer:       Zeta       Operator:       Kim\r\n"
    "Job Number:       J-42       Station ID:       S1\r\n"
    "Test #       Postfix       Z Nominal       Differential       Tolerance +/-\r\n";
const char* const kRunRows =
    "1       A       50.00       No       %12.5\r\n"
    "2       B       Undefined       Undefined       Undefined\r\n"
    "3       C       50.00       No       %12.5\r\n"
    "Boards Logged:       3\r\n"
    "Boards Tested:       2\r\n"
    "Boards Passed:       1\r\n"
    "Boards Failed:       1\r\n"
    "Serial #       Result       Test 1       Test 2       Test 3\r\n";
const char* const kRunGrid =
    "101       Fail       50.12       50.00       51.25\r\n"
    "102       Pass       0.00       0.00       0.00\r\n"
    "103       Pass       50.50       0.00       0.00\r\n";

TEST_F(ScriptedRun, TextHasTheTestTableCountsAndGridAndEndsWithTheSampleBanner) {
    EXPECT_EQ(Text(), std::string(kCompanyText) + kRunText + kDashes + "\r\n" + kRunRows + kDashes +
                          "\r\n" + kRunGrid + kBanner);
}

TEST_F(ScriptedRun, TabRenderingCarriesTheSameCellsWithTabs) {
    const std::vector<std::string> lines =
        ReportBuilder(document.Items(), Company()).TabLines(kScreenDashCount);
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[3], "Tel: 555-0100");
    EXPECT_EQ(lines[8], "Customer:\tZeta\tOperator:\tKim");
    EXPECT_EQ(lines[9], "Job Number:\tJ-42\tStation ID:\tS1");
    EXPECT_EQ(lines[10], "Test #\tPostfix\tZ Nominal\tDifferential\tTolerance +/-");
    EXPECT_EQ(lines[11], std::string(155, '-'));
    EXPECT_EQ(lines[12], "1\tA\t50.00\tNo\t%12.5");
    EXPECT_EQ(lines[13], "2\tB\tUndefined\tUndefined\tUndefined");
    EXPECT_EQ(lines[15], "Boards Logged:\t3");
    EXPECT_EQ(lines[19], "Serial #\tResult\tTest 1\tTest 2\tTest 3");
    EXPECT_EQ(lines[21], "101\tFail\t50.12\t50.00\t51.25");
    EXPECT_EQ(lines[20], std::string(155, '-'));
    EXPECT_EQ(lines[24], "Korveth MV300 - Orvik Script Report");
}

TEST_F(ScriptedRun, UnscriptedTraceEndsTheRunAndWhatFollowsBelongsToNoRun) {
    AddTrace("free", kTagOutsideScript, 48, true);
    // A run resumed from the tree after unscripted recording: no script item.
    AddMarker("104");
    AddScripted(1, 50, false, MakeCriterion(7, 50, 12.5, false));
    const std::string text = Text();
    EXPECT_NE(text.find("Boards Logged:       3\r\n"), std::string::npos);
    EXPECT_NE(text.find("Boards Failed:       1\r\n"), std::string::npos);
    EXPECT_EQ(text.find("104"), std::string::npos);
    // The sample table follows the run without a second company header.
    EXPECT_EQ(text.rfind("Acme Boards"), 0u);
    EXPECT_NE(text.find(std::string(kRunGrid) + kBanner + "Coupon Name"), std::string::npos);
    EXPECT_TRUE(text.ends_with("free       Pass       48.00       50.00       10.0       No\r\n"));
}

TEST_F(ScriptedRun, EachScriptItemStartsItsOwnRun) {
    AddScript({{7, "X"}});
    AddMarker("201");
    const ReportContent content = ReportBuilder(document.Items(), Company()).Content();
    ASSERT_EQ(content.Scripts.size(), 2u);
    EXPECT_EQ(content.Scripts[0].Logged, 3);
    EXPECT_EQ(content.Scripts[1].Logged, 1);
    EXPECT_EQ(content.Scripts[1].Tested, 0);
    // The second run used no trace with criterion 7 of its own.
    EXPECT_FALSE(content.Scripts[1].Tests[0].Defined);
    EXPECT_FALSE(content.Samples.WithCompanyHeader);
    EXPECT_FALSE(content.GridLimited());
}

TEST_F(ReportOf, GridStopsAtItsLimitsWhileCountsGoOn) {
    AddScript({{1, "A"}});
    for (int coupon = 1; coupon <= 1001; ++coupon) {
        AddMarker(std::to_string(coupon));
        AddScripted(coupon == 1 ? 120 : 1, 50, coupon != 1001, MakeCriterion(1, 50, 10, false));
    }
    AddScripted(-3, 70, true, MakeCriterion(1, 50, 10, false));  // a damaged position
    const ReportBuilder builder(document.Items(), Company());
    const ScriptReportSection& run = builder.Content().Scripts.at(0);
    EXPECT_EQ(run.Logged, 1001);
    EXPECT_EQ(run.Tested, 1001);
    EXPECT_EQ(run.Failed, 1);  // the 1001st coupon, counted but not in the grid
    EXPECT_EQ(run.Coupons.size(), 1000u);
    EXPECT_TRUE(builder.Content().GridLimited());
    const std::string text = builder.Text();
    EXPECT_NE(text.find("Boards Logged:       1001\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n1       Pass       0.00\r\n2       Pass       50.00\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n1000       Pass       50.00\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\r\n1001       "), std::string::npos);
}

TEST_F(ReportOf, ScriptWithMoreTestsThanTheGridHoldsListsTestsOneTo99) {
    std::vector<std::pair<std::int32_t, std::string>> elements(101, {1, "p"});
    AddScript(elements);
    AddMarker("9");
    AddScripted(99, 42, true, MakeCriterion(1, 50, 10, false));
    const ReportBuilder builder(document.Items(), Company());
    EXPECT_TRUE(builder.Content().GridLimited());
    // Columns past the grid's storage could only ever read 0.00: they are
    // left out, as are their rows of the test table.
    const std::string text = builder.Text();
    EXPECT_NE(text.find("       Test 99\r\n"), std::string::npos);
    EXPECT_NE(text.find("       42.00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n99       p       50.00"), std::string::npos);
    EXPECT_EQ(text.find("Test 100"), std::string::npos);
    EXPECT_EQ(text.find("\r\n100       p"), std::string::npos);
}

TEST(ReportNumbers, FixedPointFollowsPrintfRounding) {
    EXPECT_EQ(FormatFixed(10.0, 1), "10.0");
    EXPECT_EQ(FormatFixed(50.455, 2), "50.45");  // binary 50.45499...
    EXPECT_EQ(FormatFixed(-0.004, 2), "-0.00");
    EXPECT_EQ(FormatFixed(1e6, 2), "1000000.00");
    for (const double value : {0.125, 2.675, 99.995, 1e-9, 123456.785, -7.25}) {
        for (const int decimals : {1, 2}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
            EXPECT_EQ(FormatFixed(value, decimals), expected) << value;
        }
    }
}

}  // namespace
}  // namespace orvik
