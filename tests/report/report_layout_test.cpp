#include "report/report_layout.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

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

TEST(ReportCellBoxes, EveryCellStandsAtItsOwnStopAndEndsAGapBeforeTheNext) {
    PlacedLine line;
    line.X = 25;
    line.Cells = {"a", "b", "c", "d", "e"};
    line.TabStops = {150, 250, 350};
    line.RightEdge = 800;
    // However long the texts, cell n starts at stop n; past the last stop the
    // columns go on 100 apart, the spacing of the last two stops.
    EXPECT_EQ(CellBoxes(line, 4),
              (std::vector<CellBox>{{25, 121}, {150, 96}, {250, 96}, {350, 96}, {450, 96}}));
    line.TabStops = {150};
    line.Cells = {"a", "b", "c"};
    EXPECT_EQ(CellBoxes(line, 4), (std::vector<CellBox>{{25, 121}, {150, 121}, {275, 121}}));
    // A plain line may run to the line's right edge.
    line.Cells = {std::string(300, 'x')};
    EXPECT_EQ(CellBoxes(line, 4), (std::vector<CellBox>{{25, 775}}));
}

TEST(ReportLayoutOnScreen, AWideGridWidensTheScrollableArea) {
    // Serial, result and twelve tests: the columns past the last stop (6.5
    // inches) go on an inch apart, so test 12 ends at 14.5 inches.
    const ReportLayout layout = LayOutReport(RunContent(12, 2), Device(ReportMedium::Screen));
    EXPECT_EQ(layout.Width, 1450 + 25);
}

TEST(ReportLayoutOnPaper, ALongTestTableGoesOnToTheNextSheetWithItsCounts) {
    // A Letter sheet at 100 dots per inch with 12-dot lines: 83 lines between
    // the margins, of which the run's details take 16. 102 tests do not fit.
    const ReportMetrics letter{100.0, 100.0, 12, ReportMedium::Paper, 850, 1100};
    const ReportLayout layout = LayOutReport(RunContent(102, 1), letter);
    ASSERT_GE(layout.Pages.size(), 2u);
    EXPECT_EQ(layout.Pages[0].Lines.back().Cells[0], "67");
    EXPECT_EQ(layout.Pages[0].Lines.back().Y, 50 + 82 * 12);
    const ReportPage& second = layout.Pages[1];
    EXPECT_EQ(second.Lines.front().Y, 50);  // at the top margin
    EXPECT_EQ(second.Lines.front().Cells[0], "68");
    ASSERT_NE(Find(second, "99"), nullptr);
    EXPECT_EQ(Find(second, "99")->Y, 50 + 31 * 12);
    ASSERT_NE(Find(second, "Boards Logged:"), nullptr);
    EXPECT_EQ(Find(second, "Boards Logged:")->Y, 50 + 34 * 12);
    EXPECT_EQ(Find(second, "Boards Failed:")->Y, 50 + 37 * 12);
    EXPECT_EQ(Find(layout.Pages[0], "Boards Logged:"), nullptr);
}

TEST(ReportLayoutOnPaper, TallLinesEndTheSampleTablesSheetBeforeFiftyRows) {
    // 24-dot lines: 41 lines between the margins, fewer than the table's 50.
    const ReportMetrics letter{100.0, 100.0, 24, ReportMedium::Paper, 850, 1100};
    const ReportLayout layout = LayOutReport(RunContent(0, 0, 60), letter);
    for (const ReportPage& page : layout.Pages) {
        for (const PlacedLine& line : page.Lines) {
            EXPECT_LE(line.Y + 24, 1050) << JoinCells(line.Cells, "|");
        }
    }
    EXPECT_NE(Find(layout.Pages.back(), "S60"), nullptr);
}

// Whatever a collection holds and whatever the sheet and font, every line
// lies between the paper's margins, lines never overlap, and no test row or
// sample row is lost or comes out of order.
RC_GTEST_PROP(ReportLayoutOnPaper, EveryLineStaysOnItsSheet, ()) {
    const int tests = *rc::gen::inRange(0, 160);
    const int coupons = *rc::gen::inRange(0, 3);
    const int samples = *rc::gen::inRange(0, 140);
    const int lineHeight = *rc::gen::inRange(8, 31);
    const bool a4 = *rc::gen::arbitrary<bool>();
    const ReportMetrics sheet{100.0,          100.0,           lineHeight, ReportMedium::Paper,
                              a4 ? 827 : 850, a4 ? 1169 : 1100};
    const ReportLayout layout = LayOutReport(RunContent(tests, coupons, samples), sheet);

    std::vector<std::string> testRows;
    std::vector<std::string> sampleRows;
    for (const ReportPage& page : layout.Pages) {
        int previous = -1;
        for (const PlacedLine& line : page.Lines) {
            RC_ASSERT(line.Y >= 50);
            RC_ASSERT(line.Y + lineHeight <= sheet.PageHeight - 50);
            RC_ASSERT(line.Y >= previous + lineHeight);
            previous = line.Y;
            const bool testTable = line.TabStops.size() == 4;  // its own stops
            if (testTable && line.Cells.size() == 5 && line.Cells[0] != "Test #") {
                testRows.push_back(line.Cells[0]);
            } else if (line.Cells.size() == 6 && line.Cells[0][0] == 'S' &&
                       line.Cells[0] != "Serial #") {
                sampleRows.push_back(line.Cells[0]);
            }
        }
    }
    std::vector<std::string> expectedTests;
    for (int n = 1; n <= std::min(tests, 99); ++n) {
        expectedTests.push_back(std::to_string(n));
    }
    std::vector<std::string> expectedSamples;
    for (int n = 1; n <= samples; ++n) {
        expectedSamples.push_back("S" + std::to_string(n));
    }
    RC_ASSERT(testRows == expectedTests);
    RC_ASSERT(sampleRows == expectedSamples);
}

}  // namespace
}  // namespace orvik
