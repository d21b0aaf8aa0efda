// The printed report read back from its PDF: where each word stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/qt_environment.h"
#include "collection/orvik_doc.h"
#include "pdf_text.h"
#include "report/gui/report_painting.h"
#include "report/report_builder.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

using testing::PdfWord;

class ReportOnPaper : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testing::Shell("command -v pdftotext").empty()) {
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        }
    }

    void AddSample(const std::string& name, bool passed = true) {
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = name;
        trace->Passed = passed;
        trace->Average = 50.25;
        document.AppendItem(std::move(trace));
    }

    std::vector<PdfWord> Printed(ReportPaper paper = ReportPaper::Letter) {
        const std::string path = folder.File("report.pdf");
        EXPECT_TRUE(WriteReportPdf(ReportBuilder(document.Items(), {}).Content(), path, paper));
        return testing::PdfWords(path);
    }

    // The first word `text` on a page, or one with every field 0.
    static PdfWord Word(const std::vector<PdfWord>& words, const std::string& text, int page = 0) {
        for (const PdfWord& word : words) {
            if (word.Text == text && (page == 0 || word.Page == page)) {
                return word;
            }
        }
        ADD_FAILURE() << "no word " << text;
        return {};
    }

    // The words on the line of `first`, in order.
    static std::vector<PdfWord> LineOf(const std::vector<PdfWord>& words, const PdfWord& first) {
        std::vector<PdfWord> line;
        for (const PdfWord& word : words) {
            if (word.Page == first.Page && std::fabs(word.YMin - first.YMin) < 1.0) {
                line.push_back(word);
            }
        }
        return line;
    }

    testing::TemporaryFolder folder;
    COrvikDoc document;
};

TEST_F(ReportOnPaper, EveryValueStandsUnderItsHeadingWhateverTheNameBeforeIt) {
    AddSample("Plain");
    AddSample(
        "Ref coupon, \xDC"
        "bung");  // as the files keep it: Latin-1
    AddSample(std::string(300, 'W'), false);
    const std::vector<PdfWord> words = Printed();
    const double result = Word(words, "Result").XMin;
    const double average = Word(words, "Average").XMin;

    // The name with a letter outside ASCII is too long for its column on
    // paper: it is cut there, and its row stays in line with the others.
    for (const char* first : {"Plain", "Ref"}) {
        const std::vector<PdfWord> line = LineOf(words, Word(words, first));
        ASSERT_GE(line.size(), 6u) << first;
        const PdfWord& verdict = line[line.size() - 5];
        EXPECT_EQ(verdict.Text, "Pass") << first;
        EXPECT_NEAR(verdict.XMin, result, 0.5) << first;
        EXPECT_EQ(line[line.size() - 4].Text, "50.25") << first;
        EXPECT_NEAR(line[line.size() - 4].XMin, average, 0.5) << first;
    }
    EXPECT_EQ(LineOf(words, Word(words, "Ref"))[2].Text, "\xC3\x9C\xE2\x80\xA6");  // "Ü…"

    // The long name is cut before the next column, with an ellipsis.
    const auto long_ = std::find_if(words.begin(), words.end(),
                                    [](const PdfWord& w) { return w.Text.rfind("WWW", 0) == 0; });
    ASSERT_NE(long_, words.end());
    const PdfWord name = *long_;
    EXPECT_LT(name.Text.size(), 100u);
    EXPECT_EQ(name.Text.substr(name.Text.size() - 3), "\xE2\x80\xA6") << name.Text;
    EXPECT_LT(name.XMax, result);
    const std::vector<PdfWord> line = LineOf(words, name);
    ASSERT_EQ(line.size(), 6u);
    EXPECT_EQ(line[1].Text, "Fail");
    EXPECT_NEAR(line[1].XMin, result, 0.5);
    EXPECT_NEAR(line[2].XMin, average, 0.5);
}

TEST_F(ReportOnPaper, ALongSerialIsCutAndItsVerdictStaysInItsColumn) {
    auto script = std::make_unique<Script>();
    script->AddElement().CriterionId = 0;
    document.AppendItem(std::move(script));
    document.AppendItem(std::make_unique<CouponMarker>("SN-2026-000123456"));  // 17 characters
    auto trace = std::make_unique<TraceRecord>();
    trace->Tag = kTagScriptedRun;
    trace->ElementPosition = 1;
    trace->Average = 49.5;
    trace->Passed = true;
    document.AppendItem(std::move(trace));
    const std::vector<PdfWord> words = Printed(ReportPaper::A4);
    const PdfWord header = Word(words, "Result", 2);
    const PdfWord test = Word(words, "Test", 2);
    const PdfWord verdict = Word(words, "Pass", 2);
    EXPECT_NEAR(verdict.XMin, header.XMin, 0.5);
    const std::vector<PdfWord> row = LineOf(words, verdict);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_LT(row[0].XMax, header.XMin);
    EXPECT_EQ(row[2].Text, "49.50");
    EXPECT_NEAR(row[2].XMin, test.XMin, 0.5);
}

TEST_F(ReportOnPaper, ATestTableLongerThanASheetGoesOnToTheNext) {
    auto script = std::make_unique<Script>();
    for (int n = 0; n < 102; ++n) {
        script->AddElement().CriterionId = 0;
    }
    document.AppendItem(std::move(script));
    for (const ReportPaper paper : {ReportPaper::Letter, ReportPaper::A4}) {
        const std::vector<PdfWord> words = Printed(paper);
        // Tests 1 to 99 (the last listed), then the counts, all on sheets
        // no word runs off.
        const PdfWord last = Word(words, "99");
        const PdfWord failed = Word(words, "Failed:");
        EXPECT_GE(last.Page, 2);
        EXPECT_EQ(failed.Page, last.Page);
        EXPECT_GT(failed.YMin, last.YMin);
        const double sheet = paper == ReportPaper::A4 ? 841.9 : 792.0;
        for (const PdfWord& word : words) {
            EXPECT_LT(word.YMax, sheet - 30) << word.Text << " on page " << word.Page;
        }
    }
}

}  // namespace
}  // namespace orvik
