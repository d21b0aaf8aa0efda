#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "app/gui/browse_view.h"
#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/qt_environment.h"
#include "app/station_fakes.h"
#include "chart/gui/vivid_tree_widget.h"
#include "cli/cli_command.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "pdf_text.h"
#include "report/gui/preferences_dialog.h"
#include "report/gui/report_frame.h"
#include "report/gui/report_painting.h"
#include "report/gui/report_view.h"
#include "report/gui/text_report_command.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

// A report window reads its preferences at every drawing, so they must
// outlive it: the library's in the program, this one in the tests.
const ReportPreferences kNoPreferences;

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

std::unique_ptr<TraceRecord> Sample(const std::string& name) {
    auto trace = std::make_unique<TraceRecord>();
    trace->Name = name;
    trace->Passed = true;
    trace->Average = 50;
    return trace;
}

// A run of `tests` elements over `coupons` fully tested coupons.
void AddRun(COrvikDoc& document, int tests, int coupons) {
    auto script = std::make_unique<Script>();
    script->Customer = "Zeta";
    for (int n = 0; n < tests; ++n) {
        script->AddElement().CriterionId = 1;
    }
    document.AppendItem(std::move(script));
    for (int k = 1; k <= coupons; ++k) {
        document.AppendItem(std::make_unique<CouponMarker>("C" + std::to_string(k)));
        for (int n = 1; n <= tests; ++n) {
            auto trace = Sample("t");
            trace->Tag = kTagScriptedRun;
            trace->Criteria.Id = 1;
            trace->ElementPosition = n;
            trace->Average = 40 + n;
            document.AppendItem(std::move(trace));
        }
    }
}

bool HasLine(const ReportLayout& layout, const std::string& first) {
    for (const ReportPage& page : layout.Pages) {
        for (const PlacedLine& line : page.Lines) {
            if (line.Cells.at(0) == first) {
                return true;
            }
        }
    }
    return false;
}

TEST(ReportWindow, FollowsTheCollectionAndNotesAGridThatCannotHoldEverything) {
    COrvikDoc document;
    ReportPreferences preferences;
    preferences.CompanyName = "Acme";
    CReportFrame frame(document, nullptr, preferences);
    EXPECT_TRUE(HasLine(frame.View().ScreenLayout(), "Acme"));
    EXPECT_FALSE(HasLine(frame.View().ScreenLayout(), "Sample #: 1"));

    auto& recorded = static_cast<TraceRecord&>(document.AppendItem(Sample("Sample #: 1")));
    document.UpdateAllViews();  // a refilled current trace alone leaves the report as it is
    EXPECT_FALSE(HasLine(frame.View().ScreenLayout(), "Sample #: 1"));
    document.UpdateAllViews(DocumentChange::TraceRecordedAs(recorded));
    EXPECT_TRUE(HasLine(frame.View().ScreenLayout(), "Sample #: 1"));
    EXPECT_TRUE(frame.StatusLine()->text().isEmpty());
    // Edited preferences show at the next drawing without a change of the collection.
    preferences.CompanyName = "Acme Boards";
    EXPECT_TRUE(HasLine(frame.View().ScreenLayout(), "Acme Boards"));

    AddRun(document, 1, 1001);
    document.UpdateAllViews(DocumentChange{DocumentChange::Kind::Reloaded});
    EXPECT_EQ(frame.StatusLine()->text(), kGridLimitedNote);
    // The scrollable area: 8.5 inches wide, as tall as the report.
    const ReportLayout& layout = frame.View().ScreenLayout();
    EXPECT_EQ(layout.Width, static_cast<int>(8.5 * frame.View().viewport()->logicalDpiX() + 0.5));
    EXPECT_GT(layout.Height, 1000 * frame.View().fontMetrics().height());
}

TEST(ReportWindow, GoesWithTheCollectionsWindow) {
    auto owner = std::make_unique<QObject>();
    auto document = std::make_unique<COrvikDoc>();
    QPointer<CReportFrame> frame = new CReportFrame(*document, owner.get(), kNoPreferences);
    document.reset();  // as the collection window does before it is gone
    owner.reset();
    EXPECT_EQ(frame->View().Document(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
}

using testing::PdfPages;
using testing::Shell;

class ReportPdf : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Shell("command -v pdftotext").empty()) {
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        }
    }
    testing::TemporaryFolder folder;
};

TEST_F(ReportPdf, OneGridBlockPerPageWithFontsEmbedded) {
    COrvikDoc document;
    AddRun(document, 12, 100);
    ReportPreferences preferences;
    preferences.CompanyName = "Acme Boards";
    const ReportContent content = ReportBuilder(document.Items(), preferences).Content();
    const std::string path = folder.File("report.pdf");
    ASSERT_TRUE(WriteReportPdf(content, path));

    const std::vector<std::string> pages = PdfPages(path);
    ASSERT_EQ(pages.size(), 11u);
    EXPECT_NE(pages[0].find("Acme Boards"), std::string::npos);
    EXPECT_NE(pages[0].find("Boards Logged:"), std::string::npos);
    EXPECT_EQ(pages[0].find("Serial #"), std::string::npos);
    // Blocks: coupons 1-45, 46-90, 91-100, each with tests 1-5, 6-10, 11-12.
    const int firstCoupons[] = {1, 46, 91};
    const int lastCoupons[] = {45, 90, 100};
    const int firstTests[] = {1, 6, 11};
    const int lastTests[] = {5, 10, 12};
    for (int c = 0; c < 3; ++c) {
        for (int t = 0; t < 3; ++t) {
            const std::string& page = pages[static_cast<std::size_t>(1 + 3 * c + t)];
            const auto has = [&](const std::string& text) {
                return page.find(text) != std::string::npos;
            };
            EXPECT_TRUE(has("Test " + std::to_string(firstTests[t]) + " ")) << c << t;
            EXPECT_TRUE(has("Test " + std::to_string(lastTests[t]) + "\n")) << c << t;
            EXPECT_FALSE(has("Test " + std::to_string(lastTests[t] + 1) + "\n")) << c << t;
            EXPECT_TRUE(has("C" + std::to_string(firstCoupons[c]) + " ")) << c << t;
            EXPECT_TRUE(has("C" + std::to_string(lastCoupons[c]) + " ")) << c << t;
            EXPECT_FALSE(has("C" + std::to_string(lastCoupons[c] + 1) + " ")) << c << t;
            EXPECT_FALSE(has("C" + std::to_string(firstCoupons[c] - 1) + " ")) << c << t;
        }
    }
    EXPECT_NE(pages[10].find("Korveth MV300 - Orvik Script Report"), std::string::npos);
    EXPECT_NE(Shell("pdfinfo '" + path + "'").find("Page size:       612 x 792 pts (letter)"),
              std::string::npos);
    // Every font listed is embedded: the fifth column from the right says so.
    const std::string fonts = Shell("pdffonts '" + path + "'");
    std::istringstream lines(fonts.substr(fonts.find("\n---") + 1));
    std::string line;
    std::getline(lines, line);
    int fontCount = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        const std::vector<std::string> fields{std::istream_iterator<std::string>(words), {}};
        ASSERT_GE(fields.size(), 5u) << line;
        EXPECT_EQ(fields[fields.size() - 5], "yes") << line;
        ++fontCount;
    }
    EXPECT_GE(fontCount, 1) << fonts;
}

TEST_F(ReportPdf, PrintingIsOneJobWithTheReportsOwnPages) {
    COrvikDoc document;
    AddRun(document, 7, 50);  // two coupon blocks by two test blocks
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string path = folder.File("printed.pdf");
    printer.setOutputFileName(QString::fromStdString(path));
    ASSERT_TRUE(PrintReportOn(printer, ReportBuilder(document.Items(), {}).Content()));
    EXPECT_EQ(printer.docName(), "Orvik Report");
    const std::vector<std::string> pages = PdfPages(path);
    ASSERT_EQ(pages.size(), 6u);  // details, four grid blocks, the sample banner
    EXPECT_NE(pages[2].find("Test 6"), std::string::npos);
    EXPECT_NE(pages[3].find("C46 "), std::string::npos);
    EXPECT_NE(Shell("pdfinfo '" + path + "'").find("Orvik Report"), std::string::npos);
}

TEST_F(ReportPdf, A4PaperAndAFailedWriteNamesTheFile) {
    const std::string path = folder.File("a4.pdf");
    ASSERT_TRUE(WriteReportPdf(ReportContent(), path, ReportPaper::A4));
    EXPECT_NE(Shell("pdfinfo '" + path + "'").find("(A4)"), std::string::npos);
    EXPECT_EQ(PdfPages(path).size(), 1u);
    const Status failed = WriteReportPdf(ReportContent(), folder.File("none/x.pdf"));
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.Error().Message.find("none/x.pdf"), std::string::npos);
}

TEST_F(ReportPdf, TheToolWritesThePaperLayout) {
    COrvikDoc document;
    AddRun(document, 12, 100);
    const std::string collection = folder.File("run.tdr");
    ASSERT_TRUE(document.SaveAs(collection));
    const std::string pdf = folder.File("run.pdf");
    std::string words[] = {"orvik-cli", "report", collection, "--pdf", pdf, "--paper", "a4"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(),
                    words[4].data(), words[5].data(), words[6].data()};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = cli::RunCli(7, argv);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0) << err;
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(err.empty()) << err;
    EXPECT_EQ(PdfPages(pdf).size(), 11u);
    EXPECT_NE(Shell("pdfinfo '" + pdf + "'").find("(A4)"), std::string::npos);
}

TEST(TextReportCommand, AFileThatCannotBeWrittenIsReportedAndNothingIsLeft) {
    testing::TemporaryFolder folder;
    COrvikDoc document;
    document.AppendItem(Sample("S1"));
    testing::ScriptedPrompts prompts;
    const std::string blocked = folder.File("in the way.txt");
    std::filesystem::create_directory(blocked);
    EXPECT_FALSE(WriteTextReportFile(QString::fromStdString(blocked), document, ReportPreferences(),
                                     prompts));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Text Report");
    EXPECT_NE(prompts.messages[0].text.find(blocked), std::string::npos);
    EXPECT_GT(prompts.messages[0].text.size(), blocked.size() + 40) << "with the reason";
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);

    const std::string written = folder.File("r.txt");
    testing::WriteFile(written, std::vector<std::uint8_t>(5000, 'x'));
    ASSERT_TRUE(WriteTextReportFile(QString::fromStdString(written), document, ReportPreferences(),
                                    prompts));
    const auto bytes = testing::ReadFile(written);
    const std::string expected = ReportBuilder(document.Items(), ReportPreferences()).Text();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

// Answers the next file dialog with `name` in `folder`.
void AnswerFileDialog(const QString& path) {
    QTimer::singleShot(0, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // the file dialog's own accept checks the name
    });
}

TEST(TextReportCommand, SaveDialogAddsTheTxtExtension) {
    testing::TemporaryFolder folder;
    AnswerFileDialog(QString::fromStdString(folder.File("monday")));
    EXPECT_EQ(AskTextReportPath(nullptr), QString::fromStdString(folder.File("monday.txt")));
}

TEST(ReportWindow, ExportsTheCollectionAsCsv) {
    testing::TemporaryFolder folder;
    COrvikDoc document;
    document.AppendItem(Sample("S1"));
    CReportFrame frame(document, nullptr, kNoPreferences);
    AnswerFileDialog(QString::fromStdString(folder.File("traces")));
    ASSERT_TRUE(frame.ExportCsv());
    const auto bytes = testing::ReadFile(folder.File("traces.csv"));
    const std::string csv(bytes.begin(), bytes.end());
    EXPECT_EQ(csv.rfind("index,name,", 0), 0u);
    EXPECT_NE(csv.find("\r\n1,S1,0,true,"), std::string::npos);
}

// Answers the next modal dialog: fills it through `fill`, then OK or Cancel.
void AnswerPreferences(std::function<void(PreferencesDialog&)> fill, bool ok) {
    QTimer::singleShot(0, [fill, ok] {
        auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(*dialog);
        ok ? dialog->accept() : dialog->reject();
    });
}

TEST(PreferencesCommand, DamagedLibraryIsReplacedOnlyWhenTheOperatorAgrees) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    const std::vector<std::uint8_t> damaged{3, 0, 0};
    testing::WriteFile(path, damaged);
    CriteriaLibrary library;
    ASSERT_FALSE(library.Load(path));
    testing::ScriptedPrompts prompts;
    prompts.yesNoAnswers = {false, true};

    AnswerPreferences([](PreferencesDialog&) {}, true);
    EditPreferences(library, path, prompts, nullptr);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_NE(prompts.questions[0].text.find(path), std::string::npos);
    EXPECT_EQ(testing::ReadFile(path), damaged);
    ASSERT_EQ(prompts.messages.size(), 1u) << "the refused save is told";

    AnswerPreferences([](PreferencesDialog&) {}, true);
    EditPreferences(library, path, prompts, nullptr);
    CriteriaLibrary saved;
    EXPECT_TRUE(saved.Load(path));
}

TEST(PreferencesCommand, CancelStillSavesTheUnchangedLibraryAndOkCopiesTheFields) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    CriteriaLibrary library;
    library.Preferences.CompanyName = "Acme";
    testing::ScriptedPrompts prompts;

    AnswerPreferences([](PreferencesDialog& dialog) { dialog.Field(0)->setText("Ignored"); },
                      false);
    EXPECT_FALSE(EditPreferences(library, path, prompts, nullptr));
    EXPECT_EQ(library.Preferences.CompanyName, "Acme");
    CriteriaLibrary saved;
    {
        const Result<LibraryLoadStatus> loaded = saved.Load(path);
        ASSERT_TRUE(loaded && *loaded == LibraryLoadStatus::Loaded) << "Cancel rewrote the file";
    }
    EXPECT_EQ(saved.Preferences.CompanyName, "Acme");

    AnswerPreferences(
        [](PreferencesDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Preferences");
            EXPECT_EQ(dialog.Field(0)->text(), "Acme");
            for (int i = 0; i < 9; ++i) {
                dialog.Field(i)->setText(QString("v%1").arg(i));
            }
            dialog.PromptBox()->setChecked(true);
        },
        true);
    EXPECT_TRUE(EditPreferences(library, path, prompts, nullptr));
    {
        const Result<LibraryLoadStatus> loaded = saved.Load(path);
        ASSERT_TRUE(loaded && *loaded == LibraryLoadStatus::Loaded);
    }
    const ReportPreferences& values = saved.Preferences;
    EXPECT_EQ(values.CompanyName, "v0");
    EXPECT_EQ(values.Address2, "v2");
    EXPECT_EQ(values.Web, "v6");
    EXPECT_EQ(values.DefaultPostfix, "v8");
    EXPECT_EQ(saved.PromptForTraceName, 1);
    EXPECT_TRUE(prompts.messages.empty());
}

QAction* MenuAction(QWidget& window, const QString& text) {
    for (QAction* action : window.findChildren<QAction*>()) {
        // Access-key markers aside.
        if (QString(action->text()).remove('&') == QString(text).remove('&')) {
            return action;
        }
    }
    return nullptr;
}

class ReportCommands : public ::testing::Test {
  protected:
    ReportCommands() {
        CriteriaLibrary library;
        library.Preferences = {"Acme",
                               "1 Mill Lane",
                               "Leeds",
                               "0113 496 0000",
                               "0113 496 0001",
                               "qa@acme.test",
                               "acme.test",
                               "",
                               ""};
        library.AddCriterion().Name = "SE 50";
        EXPECT_TRUE(library.Save(criteriaPath));
        frame.LoadCriteriaLibrary(criteriaPath);
        frame.ProcessCommandLine({});
        frame.Selector().SelectIndex(0);
    }
    QList<CReportFrame*> Reports() {
        return frame.findChild<QMdiArea*>()->findChildren<CReportFrame*>();
    }

    testing::TemporaryFolder folder;
    std::string criteriaPath = folder.File("criteria.dat");
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
};

TEST_F(ReportCommands, GenerateReportOpensAWindowThatRecordingRefreshes) {
    QAction* generate = MenuAction(frame, "Generate Report");
    ASSERT_NE(generate, nullptr);
    ASSERT_TRUE(generate->isEnabled());
    frame.Station().SetLiveMode(true);
    generate->trigger();
    EXPECT_FALSE(frame.Station().LiveMode());
    ASSERT_EQ(Reports().size(), 1);
    CReportFrame& report = *Reports().front();
    EXPECT_EQ(report.View().Document(), &frame.ActiveChild()->Document());
    EXPECT_FALSE(HasLine(report.View().ScreenLayout(), "Sample #: 1"));
    frame.Station().RunTest(frame.ActiveChild()->Document());
    EXPECT_FALSE(HasLine(report.View().ScreenLayout(), "Sample #: 1"));
    MenuAction(frame, "Record Test")->trigger();
    EXPECT_TRUE(HasLine(report.View().ScreenLayout(), "Sample #: 1"));

    QPointer<CReportFrame> alive = &report;
    frame.ActiveChild()->Document().SetModified(false);
    frame.ActiveChild()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the collection
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // then its report
    EXPECT_TRUE(alive.isNull()) << "a report window goes with its collection";
}

TEST_F(ReportCommands, TextReportCarriesTheCompanyOfThePreferences) {
    frame.Station().RunTest(frame.ActiveChild()->Document());
    MenuAction(frame, "Record Test")->trigger();
    AnswerFileDialog(QString::fromStdString(folder.File("report")));
    MenuAction(frame, "Text Report")->trigger();
    const auto bytes = testing::ReadFile(folder.File("report.txt"));
    const std::string company =
        "Acme\r\n1 Mill Lane\r\nLeeds\r\nTel: 0113 496 0000\r\nFax: 0113 496 0001\r\n"
        "Email: qa@acme.test\r\nWeb: acme.test\r\nKorveth MV300";
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).substr(0, company.size()), company);
}

// Answers the next Yes/No question with `yes`, remembering its caption.
void AnswerQuestion(bool yes, QString* caption) {
    QTimer::singleShot(0, [yes, caption] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        *caption = box->windowTitle();
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
}

TEST_F(ReportCommands, GenerateReportAsksBeforeStoppingARunningScript) {
    Script script;
    script.PromptForSerial = 0;
    script.AddElement().CriterionId = 1;
    COrvikDoc& document = frame.ActiveChild()->Document();
    ASSERT_TRUE(frame.Station().Scripts().Start(document, script));
    QAction* generate = MenuAction(frame, "Generate Report");
    QString caption;
    AnswerQuestion(false, &caption);
    generate->trigger();
    EXPECT_EQ(caption, "Stop running script?");
    EXPECT_TRUE(Reports().isEmpty());
    EXPECT_NE(document.ActiveScript, nullptr);
    AnswerQuestion(true, &caption);
    generate->trigger();
    EXPECT_EQ(Reports().size(), 1);
    EXPECT_EQ(document.ActiveScript, nullptr);
}

TEST_F(ReportCommands, PromptForTraceNameCheckMarkFollowsTheFlag) {
    QAction* prompt = MenuAction(frame, "Prompt for Trace Name");
    QAction* preferences = MenuAction(frame, "P&references");
    ASSERT_NE(prompt, nullptr);
    ASSERT_NE(preferences, nullptr);
    EXPECT_FALSE(prompt->isChecked());
    AnswerPreferences([](PreferencesDialog& dialog) { dialog.PromptBox()->setChecked(true); },
                      true);
    preferences->trigger();
    EXPECT_TRUE(frame.Station().PromptForTraceName());
    EXPECT_TRUE(prompt->isChecked());
    prompt->trigger();
    EXPECT_FALSE(frame.Station().PromptForTraceName());
    EXPECT_FALSE(prompt->isChecked());
    prompt->trigger();
    EXPECT_TRUE(prompt->isChecked());
    AnswerPreferences([](PreferencesDialog& dialog) { dialog.PromptBox()->setChecked(false); },
                      false);
    preferences->trigger();
    EXPECT_TRUE(prompt->isChecked()) << "Cancel changes nothing";
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(criteriaPath));
    EXPECT_EQ(saved.PromptForTraceName, 1) << "and saves the flag as it stands";
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

TEST_F(ReportCommands, FileMenuExportsTheSelectedTracesSamples) {
    frame.Station().RunTest(frame.ActiveChild()->Document());
    MenuAction(frame, "Record Test")->trigger();
    QTreeWidget& tree = *frame.ActiveChild()->Browse().Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    tree.setCurrentItem(tree.topLevelItem(0));
    AnswerFileDialog(QString::fromStdString(folder.File("trace")));
    MenuAction(frame, "Export &Trace CSV...")->trigger();
    const auto bytes = testing::ReadFile(folder.File("trace.csv"));
    const std::string csv(bytes.begin(), bytes.end());
    EXPECT_EQ(csv.rfind("position_in,impedance_ohm\r\n0,50\r\n", 0), 0u) << csv.substr(0, 60);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 751);
}

// Answers the next file dialog with `path`; the question the dialog asks
// before it replaces a file is answered No, noting its text, and the dialog
// is then cancelled.
void AnswerFileDialogRefusingToReplace(const QString& path, QString* asked) {
    QTimer::singleShot(0, [path, asked] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTimer::singleShot(0, [asked, dialog] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                *asked = box->text();
                box->button(QMessageBox::No)->click();
                QTimer::singleShot(0, dialog, &QDialog::reject);
            }
        });
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

// Answers the next file dialog with what it proposes, and notes the proposal.
void AcceptProposal(QString* proposed) {
    QTimer::singleShot(0, [proposed] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        *proposed = dialog->selectedFiles().value(0);
        static_cast<QDialog*>(dialog)->accept();
    });
}

// A name typed without its extension names the file the command writes, so
// the dialog asks before replacing it, as for the whole name ("lot7" for an
// existing lot7.pdf).
TEST_F(ReportCommands, ANameWithoutItsExtensionIsAskedAboutBeforeItsFileIsReplaced) {
    CReportFrame report(*frame.ActiveDocument(), nullptr, kNoPreferences);
    const struct {
        std::string extension;
        std::function<bool()> command;
    } cases[] = {
        {"pdf", [&] { return report.ExportPdf(ReportPaper::Letter); }},
        {"csv", [&] { return report.ExportCsv(); }},
        {"txt", [&] { return !AskTextReportPath(&report).isEmpty(); }},
        {"tdr", [&] { return frame.SaveCollection(*frame.ActiveChild(), true); }},
    };
    const std::vector<std::uint8_t> kept{'k', 'e', 'p', 't'};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.extension);
        const std::string existing = folder.File("lot7." + row.extension);
        testing::WriteFile(existing, kept);
        QString asked;
        AnswerFileDialogRefusingToReplace(QString::fromStdString(folder.File("lot7")), &asked);
        EXPECT_FALSE(row.command());
        EXPECT_TRUE(asked.contains("lot7." + QString::fromStdString(row.extension)))
            << asked.toStdString();
        EXPECT_EQ(testing::ReadFile(existing), kept);
    }
}

// Each save dialog proposes the collection's name (the trace's for a trace
// CSV) in the collection's folder, and what it proposes is what is written.
TEST_F(ReportCommands, SaveDialogsProposeTheCollectionsAndTheTracesNames) {
    COrvikDoc& document = frame.ActiveChild()->Document();
    document.SetPath(folder.File("LOT4711.tdr"));
    frame.Station().RunTest(document);
    MenuAction(frame, "Record Test")->trigger();
    QString proposed;

    AcceptProposal(&proposed);
    MenuAction(frame, "Export CSV...")->trigger();
    EXPECT_EQ(proposed.toStdString(), folder.File("LOT4711.csv"));
    EXPECT_FALSE(testing::ReadFile(folder.File("LOT4711.csv")).empty());

    AcceptProposal(&proposed);
    MenuAction(frame, "Text Report")->trigger();
    EXPECT_EQ(proposed.toStdString(), folder.File("LOT4711.txt"));

    QTreeWidget& tree = *frame.ActiveChild()->Browse().Tree();
    tree.setCurrentItem(tree.topLevelItem(0));
    AcceptProposal(&proposed);
    MenuAction(frame, "Export Trace CSV...")->trigger();
    EXPECT_EQ(proposed.toStdString(), folder.File("Sample #_ 1.csv"));

    CReportFrame report(document, nullptr, kNoPreferences);
    AcceptProposal(&proposed);
    EXPECT_TRUE(report.ExportPdf(ReportPaper::A4));
    EXPECT_EQ(proposed.toStdString(), folder.File("LOT4711.pdf"));
}

}  // namespace
}  // namespace orvik
