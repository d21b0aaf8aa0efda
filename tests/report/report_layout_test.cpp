#include "report/report_layout.h"

#include <gtest/gtest.h>

#include "collection/orvik_doc.h"
#include "script/script.h"

namespace orvik {
namespace {

// 100 dots per inch and 10-dot lines keep the expected positions readable.
ReportMetrics Device(ReportMedium medium) {
    return ReportMetrics{100.0, 100.0, 10, medium};
}

std::vector<std::string> Texts(const ReportPage& page) {
    std::vector<std::string> texts;
    for (const PlacedLine& line : page.Lines) {
        texts.push_back(JoinCells(line.Cells, "|"));
    }
    return texts;
}

// A run of `tests` elements over `coupons` coupons, each coupon fully tested,
// then `samples` unscripted traces.
ReportContent RunContent(int tests, int coupons, int samples = 0) {
    COrvikDoc document;
    auto script = std::make_unique<Script>();
    for (int n = 0; n < tests; ++n) {
        script->AddElement().CriterionId = 1;
    }
    document.AppendItem(std::move(script));
    for (int k = 1; k <= coupons; ++k) {
        document.AppendItem(std::make_unique<CouponMarker>(std::to_string(k)));
        for (int n = 1; n <= tests; ++n) {
            auto trace = std::make_unique<TraceRecord>();
            trace->Tag = kTagScriptedRun;
            trace->Criteria.Id = 1;
            trace->ElementPosition = n;
            trace->Average = n;
            trace->Passed = true;
            document.AppendItem(std::move(trace));
        }
    }
    for (int s = 1; s <= samples; ++s) {
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = "S" + std::to_string(s);
        document.AppendItem(std::move(trace));
    }
    ReportPreferences preferences;
    preferences.CompanyName = "Acme";
    return ReportBuilder(document.Items(), preferences).Content();
}

const PlacedLine* Find(const ReportPage& page, const std::string& first) {
    for (const PlacedLine& line : page.Lines) {
        if (!line.Cells.empty() && line.Cells[0] == first) {
            return &line;
        }
    }
    return nullptr;
}

TEST(ReportLayoutOnScreen, RunLinesSitWhereTheFormSaysAndTheGridFollowsTheCounts) {
    const ReportLayout layout = LayOutReport(RunContent(2, 3), Device(ReportMedium::Screen));
    ASSERT_EQ(layout.Pages.size(), 1u);
    const ReportPage& page = layout.Pages[0];
    // Top margin 0.25 inch, left margin 0.25 inch.
    const int y = 25;
    EXPECT_EQ(Find(page, "Acme")->Y, y);
    EXPECT_EQ(Find(page, "Acme")->X, 25);
    EXPECT_EQ(Find(page, "Tel: ")->Y, y + 40);
    EXPECT_EQ(Find(page, "Web: ")->Y, y + 70);
    EXPECT_EQ(Find(page, "Customer:")->Y, y + 110);
    EXPECT_EQ(Find(page, "Customer:")->TabStops, (std::vector<int>{150, 375, 538}));
    EXPECT_EQ(Find(page, "Test #")->Y, y + 140);
    EXPECT_EQ(Find(page, "Test #")->TabStops, (std::vector<int>{150, 300, 450, 600}));
    EXPECT_EQ(Find(page, std::string(155, '-'))->Y, y + 150);
    EXPECT_EQ(Find(page, "2")->Y, y + 170);  // the second test row
    EXPECT_EQ(Find(page, "Boards Logged:")->Y, y + 200);
    EXPECT_EQ(Find(page, "Boards Failed:")->Y, y + 230);
    EXPECT_EQ(Find(page, "Serial #")->Y, y + 260);
    EXPECT_EQ(Find(page, "Serial #")->TabStops, (std::vector<int>{150, 250, 350, 450, 550, 650}));
    EXPECT_EQ(Find(page, "3")->Y, y + 300);  // the third coupon
    // Three blank lines, then the sample banner without a company header.
    EXPECT_EQ(page.Lines.back().Cells[0], kReportBanner);
    EXPECT_EQ(page.Lines.back().Y, y + 340);
    EXPECT_EQ(layout.Width, 850);
    EXPECT_EQ(layout.Height, y + 350 + 20);
}

TEST(ReportLayoutOnScreen, EmptyCollectionStartsAtTheTopMargin) {
    const ReportLayout layout = LayOutReport(ReportContent(), Device(ReportMedium::Screen));
    const std::vector<std::string> texts = Texts(layout.Pages.at(0));
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(layout.Pages[0].Lines.front().Y, 25);
    EXPECT_EQ(layout.Pages[0].Lines.back().Y, 25 + 90);
    EXPECT_EQ(texts.back(), kReportBanner);
}

TEST(ReportLayoutOnScreen, WholeGridInOneBlock) {
    const ReportLayout layout = LayOutReport(RunContent(12, 100), Device(ReportMedium::Screen));
    const ReportPage& page = layout.Pages.at(0);
    EXPECT_EQ(JoinCells(Find(page, "Serial #")->Cells, "|"),
              "Serial #|Result|Test 1|Test 2|Test 3|Test 4|Test 5|Test 6|Test 7|Test 8|Test 9|"
              "Test 10|Test 11|Test 12");
    EXPECT_NE(Find(page, "100"), nullptr);
}

TEST(ReportLayoutOnPaper, GridComesInBlocksOfFortyFiveCouponsAndFiveTestsOnePerPage) {
    const ReportLayout layout = LayOutReport(RunContent(12, 100), Device(ReportMedium::Paper));
    // The run's details, nine grid blocks, then the sample section's banner.
    ASSERT_EQ(layout.Pages.size(), 11u);
    EXPECT_EQ(Find(layout.Pages[0], "Acme")->Y, 50);
    EXPECT_EQ(Find(layout.Pages[0], "Acme")->X, 75);
    EXPECT_EQ(Find(layout.Pages[0], "Serial #"), nullptr);
    const std::pair<int, int> coupons[] = {{1, 45}, {46, 90}, {91, 100}};
    const std::pair<int, int> tests[] = {{1, 5}, {6, 10}, {11, 12}};
    int page = 1;
    for (const auto& [firstCoupon, lastCoupon] : coupons) {
        for (const auto& [firstTest, lastTest] : tests) {
            const std::vector<std::string> texts = Texts(layout.Pages[page++]);
            ASSERT_EQ(texts.size(), static_cast<std::size_t>(lastCoupon - firstCoupon + 3));
            std::string header = "Serial #|Result";
            std::string row = std::to_string(firstCoupon) + "|Pass";
            for (int n = firstTest; n <= lastTest; ++n) {
                header += "|Test " + std::to_string(n);
                row += "|" + std::to_string(n) + ".00";
            }
            EXPECT_EQ(texts[0], header);
            EXPECT_EQ(texts[1], std::string(120, '-'));
            EXPECT_EQ(texts[2], row);
            EXPECT_EQ(texts.back().substr(0, texts.back().find('|')), std::to_string(lastCoupon));
            EXPECT_EQ(layout.Pages[page - 1].Lines[0].Y, 50);
        }
    }
    EXPECT_EQ(Texts(layout.Pages[10]), std::vector<std::string>{kReportBanner});
}

TEST(ReportLayoutOnPaper, SampleTableBreaksAfterFiftyLinesWithoutRepeatingItsHeader) {
    const ReportLayout layout = LayOutReport(RunContent(0, 0, 120), Device(ReportMedium::Paper));
    // Page 1: the run; page 2: its (empty) grid is not drawn; the sample table
    // then fills pages of at most 51 lines, the header counting as two.
    std::vector<std::size_t> rowsPerPage;
    for (const ReportPage& page : layout.Pages) {
        std::size_t rows = 0;
        for (const PlacedLine& line : page.Lines) {
            rows += line.Cells.size() == 6 && line.Cells[0][0] == 'S' ? 1 : 0;
        }
        rowsPerPage.push_back(rows);
    }
    EXPECT_EQ(rowsPerPage, (std::vector<std::size_t>{0, 49, 51, 20}));
    EXPECT_EQ(Texts(layout.Pages[1])[0], kReportBanner);
    EXPECT_EQ(Texts(layout.Pages[2])[0].substr(0, 4), "S50|");
    EXPECT_EQ(layout.Pages[2].Lines[0].Y, 50);
}

TEST(ReportCellPositions, CellsStartAtTheNextStopThatLeavesAGap) {
    PlacedLine line;
    line.X = 25;
    line.Cells = {"a", "b", "c", "d"};
    line.TabStops = {150, 250, 350};
    // A text running over a stop pushes the next cell to the stop after it;
    // past the last stop the cells follow each other, a gap apart.
    EXPECT_EQ(CellPositions(line, {50, 120, 30, 5}, 4), (std::vector<int>{25, 150, 350, 384}));
    EXPECT_EQ(CellPositions(line, {200, 10, 10, 10}, 4), (std::vector<int>{25, 250, 350, 364}));
    // A text ending right before a stop does not touch the next cell.
    EXPECT_EQ(CellPositions(line, {123, 10, 10, 10}, 4), (std::vector<int>{25, 250, 350, 364}));
    EXPECT_EQ(CellPositions(line, {121, 10, 10, 10}, 4), (std::vector<int>{25, 150, 250, 350}));
}

}  // namespace
}  // namespace orvik
