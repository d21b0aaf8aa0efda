// The lot statistics printed after a report: their pages from the results
// database, the report unchanged while Preferences does not ask for them,
// and orvik-cli report --statistics.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMdiArea>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/qt_environment.h"
#include "app/station_fakes.h"
#include "app/statistics_appendix.h"
#include "cli/cli_run.h"
#include "collection/orvik_doc.h"
#include "collection/trace_record.h"
#include "criteria/criteria_library.h"
#include "pdf_text.h"
#include "report/gui/preferences_dialog.h"
#include "report/gui/report_frame.h"
#include "report/gui/report_painting.h"
#include "report/report_builder.h"
#include "results/results_store.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

using testing::PdfPages;
using testing::Shell;

// A run of job J-APX: coupons 1 to `coupons`, each measured by -SE (around
// 50 ohms) and -DIFF (around 100); the third coupon's -SE failed.
void AddRun(COrvikDoc& document, int coupons, std::int32_t started) {
    auto script = std::make_unique<Script>();
    script->Description = "Lot impedance";
    script->JobNumber = "J-APX";
    script->Customer = "Zeta";
    script->Operator = "kim";
    const char* postfixes[] = {"-SE", "-DIFF"};
    for (const char* postfix : postfixes) {
        ScriptElement& element = script->AddElement();
        element.Postfix = postfix;
    }
    document.AppendItem(std::move(script));
    for (int k = 1; k <= coupons; ++k) {
        document.AppendItem(std::make_unique<CouponMarker>("C" + std::to_string(k)));
        for (int n = 1; n <= 2; ++n) {
            auto trace = std::make_unique<TraceRecord>();
            const double target = n == 1 ? 50.0 : 100.0;
            trace->Name = "C" + std::to_string(k) + postfixes[n - 1];
            trace->Tag = kTagScriptedRun;
            trace->Time = started + k * 10 + n;
            trace->ElementPosition = n;
            trace->Criteria.Name = n == 1 ? "SE 50" : "DIFF 100";
            trace->Criteria.TargetImpedance = target;
            trace->Criteria.MinimumImpedance = target * 0.9;
            trace->Criteria.MaximumImpedance = target * 1.1;
            trace->Average = target + 0.1 * ((k * 7) % 5) - 0.2;
            trace->Passed = !(n == 1 && k == 3);
            document.AppendItem(std::move(trace));
        }
    }
}

std::unique_ptr<results::ResultsStore> Open(const std::string& path) {
    results::StoreProblem problem;
    auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
    EXPECT_TRUE(store.Ok());
    return store ? std::move(*store) : nullptr;
}

// The database holds what a station recording the collection stored.
void StoreCollection(const COrvikDoc& document, const std::string& database) {
    const auto measurements = results::MeasurementsOf(document.Items(), {});
    ASSERT_TRUE(Open(database)->Store(measurements).Ok());
}

class StatisticsAppendixTest : public ::testing::Test {
  protected:
    StatisticsAppendixTest() {
        ::setenv("XDG_DATA_HOME", folder.Path().c_str(), 1);
        ::unsetenv("ORVIK_RESULTS_URL");
        AddRun(document, 6, 1'765'000'000);
        AddRun(document, 4, 1'765'100'000);
    }
    ~StatisticsAppendixTest() override {
        QSettings().remove(kStatisticsAppendixSetting);
        ::unsetenv("XDG_DATA_HOME");
    }

    ResultsStoreOpener OpenerOf(const std::string& path) {
        return [path] {
            results::StoreProblem problem;
            return results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
        };
    }

    testing::TemporaryFolder folder;
    const std::string database = folder.File("floor.sqlite");
    COrvikDoc document;
};

TEST_F(StatisticsAppendixTest, EachRunHasItsPageWithItsStatisticsOrOneLineSayingWhyNot) {
    StoreCollection(document, database);
    const auto pages = StatisticsAppendix(document.Items(), OpenerOf(database));
    ASSERT_EQ(pages.size(), 2u);
    for (std::size_t run = 0; run < 2; ++run) {
        const StatisticsAppendixPage& page = pages[run];
        EXPECT_TRUE(page.Note.empty()) << page.Note;
        EXPECT_NE(page.RunLine.find("Job J-APX, script \"Lot impedance\""), std::string::npos);
        ASSERT_EQ(page.Tests.size(), 2u);
        const std::string coupons = run == 0 ? "6" : "4";  // each run its own measurements
        for (const AppendixTest& test : page.Tests) {
            EXPECT_EQ(test.Cells.at(2), coupons);
            ASSERT_TRUE(test.Histogram.has_value());
            int counted = 0;
            for (const int count : test.Histogram->Counts) {
                counted += count;
            }
            EXPECT_EQ(std::to_string(counted), coupons);
            ASSERT_TRUE(test.Histogram->Upper.has_value());
            EXPECT_NEAR(*test.Histogram->Upper, test.Cells[0] == "-SE" ? 55.0 : 110.0, 1e-9);
        }
        EXPECT_EQ(page.Tests[0].Cells[0], "-SE");
        EXPECT_EQ(page.Tests[0].Cells[7], run == 0 ? "83.3 %" : "75.0 %");
    }
    EXPECT_NE(pages[0].RunLine.find("2025-12-06"), std::string::npos) << pages[0].RunLine;

    const struct {
        ResultsStoreOpener open;
        std::string note;
    } without[] = {
        {OpenerOf(folder.File("empty.sqlite")), "holds no measurements of this run"},
        {OpenerOf("/proc/none/floor.sqlite"), "could not be reached: "},
    };
    for (const auto& c : without) {
        const auto notes = StatisticsAppendix(document.Items(), c.open);
        ASSERT_EQ(notes.size(), 2u);
        for (const StatisticsAppendixPage& page : notes) {
            EXPECT_NE(page.Note.find(c.note), std::string::npos) << page.Note;
            EXPECT_TRUE(page.Tests.empty());
        }
    }
    // The first trace of the first run deleted after it was stored: the run
    // is still found, as stored, with all its measurements.
    const auto firstTrace =
        std::find_if(document.Items().begin(), document.Items().end(),
                     [](const auto& item) { return dynamic_cast<TraceRecord*>(item.get()); });
    ASSERT_TRUE(document.RemoveItem(firstTrace->get()));
    const auto afterDeletion = StatisticsAppendix(document.Items(), OpenerOf(database));
    ASSERT_EQ(afterDeletion.size(), 2u);
    EXPECT_EQ(afterDeletion[0].RunLine, pages[0].RunLine);
    ASSERT_EQ(afterDeletion[0].Tests.size(), 2u);
    EXPECT_EQ(afterDeletion[0].Tests[0].Cells[2], "6");

    COrvikDoc unscripted;
    unscripted.AppendItem(std::make_unique<TraceRecord>());
    EXPECT_TRUE(StatisticsAppendix(unscripted.Items(), OpenerOf(database)).empty());
}

// Answers the next file dialog with `path`.
void AnswerFileDialog(const std::string& path) {
    QTimer::singleShot(0, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    });
}

// The pages as pictures, to compare what was painted.
std::string Pictures(const std::string& pdf) {
    Shell("pdftoppm -r 30 -png '" + pdf + "' '" + pdf + "-page'");
    std::string all;
    for (int page = 1;; ++page) {
        const std::string png = pdf + "-page-" + std::to_string(page) + ".png";
        if (!std::filesystem::exists(png)) {
            return all;
        }
        const auto bytes = testing::ReadFile(png);
        all.append(bytes.begin(), bytes.end());
    }
}

TEST_F(StatisticsAppendixTest, TheReportWindowAddsThePagesOnlyWhenPreferencesAskForThem) {
    if (Shell("command -v pdftoppm").empty()) {
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    }
    QSettings().remove(kStatisticsAppendixSetting);
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
    frame.ProcessCommandLine({});
    COrvikDoc& shown = frame.ActiveChild()->Document();
    AddRun(shown, 6, 1'765'000'000);
    StoreCollection(shown, results::DefaultResultsPath());
    for (QAction* action : frame.findChildren<QAction*>()) {
        if (action->text().remove(QChar('&')) == "Generate Report") {
            action->trigger();
        }
    }
    const auto reports = frame.findChild<QMdiArea*>()->findChildren<CReportFrame*>();
    ASSERT_EQ(reports.size(), 1);
    CReportFrame& report = *reports.front();

    const std::string alone = folder.File("alone.pdf");
    ASSERT_TRUE(
        WriteReportPdf(ReportBuilder(shown.Items(), frame.Library().Preferences).Content(), alone));
    const std::string off = folder.File("off.pdf");
    AnswerFileDialog(off);
    ASSERT_TRUE(report.ExportPdf(ReportPaper::Letter));
    EXPECT_EQ(Pictures(off), Pictures(alone)) << "painted as it was";
    EXPECT_EQ(PdfPages(off), PdfPages(alone));

    QSettings().setValue(kStatisticsAppendixSetting, true);
    const std::string on = folder.File("on.pdf");
    AnswerFileDialog(on);
    ASSERT_TRUE(report.ExportPdf(ReportPaper::Letter));
    const auto pages = PdfPages(on);
    ASSERT_EQ(pages.size(), PdfPages(alone).size() + 1);
    EXPECT_EQ(std::vector(pages.begin(), pages.end() - 1), PdfPages(alone));
    for (const char* says : {"Lot statistics", "Job J-APX", "Cpk", "-SE", "-DIFF", "83.3 %"}) {
        EXPECT_NE(pages.back().find(says), std::string::npos) << says << "\n" << pages.back();
    }
}

// The Preferences box: off until the operator checks it, kept on this
// computer (not in criteria.dat), and written only when the operator changed
// it, so that another program's choice made meanwhile stays.
TEST_F(StatisticsAppendixTest, PreferencesAsksForThePagesAndKeepsTheChoiceOnThisComputer) {
    const std::string path = folder.File("criteria.dat");
    CriteriaLibrary library;
    ASSERT_TRUE(library.Save(path).Ok());
    const auto before = testing::ReadFile(path);
    const struct {
        const char* what;
        std::optional<bool> stored;  // the setting before; none: never set
        std::function<void(PreferencesDialog&)> answer;
        bool ok;
        bool shownChecked;
        bool after;
    } cases[] = {
        {"never set", std::nullopt, [](PreferencesDialog&) {}, true, false, false},
        {"checked", std::nullopt,
         [](PreferencesDialog& d) { d.StatisticsAppendixBox()->setChecked(true); }, true, false,
         true},
        {"checked, cancelled", false,
         [](PreferencesDialog& d) { d.StatisticsAppendixBox()->setChecked(true); }, false, false,
         false},
        {"unchecked", true,
         [](PreferencesDialog& d) { d.StatisticsAppendixBox()->setChecked(false); }, true, true,
         false},
        {"another program's choice meanwhile", false,
         [](PreferencesDialog&) { QSettings().setValue(kStatisticsAppendixSetting, true); }, true,
         false, true},
    };
    for (const auto& c : cases) {
        QSettings().remove(kStatisticsAppendixSetting);
        if (c.stored) {
            QSettings().setValue(kStatisticsAppendixSetting, *c.stored);
        }
        bool shown = !c.shownChecked;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            shown = dialog->StatisticsAppendixBox()->isChecked();
            c.answer(*dialog);
            c.ok ? dialog->accept() : dialog->reject();
        });
        testing::ScriptedPrompts prompts;
        EditPreferences(library, path, prompts, nullptr);
        EXPECT_EQ(shown, c.shownChecked) << c.what;
        EXPECT_EQ(StatisticsAppendixWanted(), c.after) << c.what;
        EXPECT_EQ(testing::ReadFile(path), before) << c.what << ": criteria.dat as it was";
    }
}

TEST_F(StatisticsAppendixTest, TheToolPrintsThemWhenAskedAndNeverFailsTheReportForThem) {
    if (Shell("command -v pdftotext").empty()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    StoreCollection(document, database);
    const std::string collection = folder.File("lot.tdr");
    ASSERT_TRUE(document.SaveAs(collection));
    const std::string alone = folder.File("alone.pdf");
    ASSERT_EQ(testing::RunTool({"report", collection, "--pdf", alone}).exitCode, 0);
    const std::size_t reportPages = PdfPages(alone).size();

    const std::string with = folder.File("with.pdf");
    const auto run = testing::RunTool(
        {"report", collection, "--pdf", with, "--statistics", "--results", database});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto pages = PdfPages(with);
    ASSERT_EQ(pages.size(), reportPages + 2);
    EXPECT_NE(pages[reportPages].find("83.3 %"), std::string::npos) << pages[reportPages];
    EXPECT_NE(pages[reportPages + 1].find("75.0 %"), std::string::npos) << pages[reportPages + 1];

    const auto unreachable = testing::RunTool({"report", collection, "--pdf", with, "--statistics",
                                               "--results", "/proc/none/floor.sqlite"});
    ASSERT_EQ(unreachable.exitCode, 0) << unreachable.err;
    EXPECT_NE(PdfPages(with).back().find("could not be reached"), std::string::npos);
    EXPECT_EQ(testing::RunTool({"report", collection, "--statistics"}).exitCode, 2);
    EXPECT_EQ(
        testing::RunTool({"report", collection, "--pdf", with, "--results", database}).exitCode, 2);
}

}  // namespace
}  // namespace orvik
