// A collection file shared with other programs: saved over by another since
// this window opened it, opened by another, or opened twice here.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/graph_view.h"
#include "app/gui/main_frame.h"
#include "base/file_stamp.h"
#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"
#include "qt_environment.h"
#include "station_fakes.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// Answers the next message box with the button whose text is `button`,
// noting the box's text; a file dialog that follows is answered with `path`.
void Answer(const QString& button, QString* text, const QString& path = {}) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "a question was asked";
        *text = box->text();
        if (!path.isEmpty()) {
            QTimer::singleShot(0, [path] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dialog, nullptr);
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept();
            });
        }
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text().remove('&') == button) {
                candidate->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << button.toStdString();
    });
}

std::vector<std::string> Names(const COrvikDoc& document) {
    std::vector<std::string> names;
    for (const auto& item : document.Items()) {
        names.push_back(static_cast<const TraceRecord&>(*item).Name);
    }
    return names;
}

std::vector<std::string> NamesIn(const std::string& path) {
    COrvikDoc document;
    EXPECT_TRUE(document.Open(path).Ok());
    return Names(document);
}

// A collection whose traces are named `names`, saved at `path`.
void SaveCollection(const std::string& path, const std::vector<std::string>& names) {
    COrvikDoc document;
    for (const std::string& name : names) {
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = name;
        document.AppendItem(std::move(trace));
    }
    ASSERT_TRUE(document.SaveAs(path).Ok());
}

class SharedFiles : public ::testing::Test {
  protected:
    SharedFiles() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        EXPECT_TRUE(library.Save(folder.File("criteria.dat")).Ok());
        frame.LoadCriteriaLibrary(folder.File("criteria.dat"));
        SaveCollection(lot, {"first"});
    }

    // LOT.tdr opened here, with one trace recorded and not saved.
    CChildFrame& OpenAndRecord() {
        CChildFrame* child = frame.OpenCollection(QString::fromStdString(lot));
        EXPECT_NE(child, nullptr);
        emit frame.SelectorWidget()->activated(0);
        QTest::mouseClick(&child->Graph(), Qt::LeftButton);
        QTest::mouseClick(&child->Graph(), Qt::RightButton);
        EXPECT_EQ(child->Document().Items().size(), 2u);
        return *child;
    }

    testing::TemporaryFolder folder;
    std::string lot = folder.File("LOT.tdr");
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
};

// Another program adds to LOT.tdr while it is open here; Save asks before it
// would drop what the other saved, and does what the operator answers.
TEST_F(SharedFiles, SavingOverAFileChangedOnDiskAsksFirst) {
    const struct {
        QString answer;
        bool saved;
        std::vector<std::string> lotAfter;
    } cases[] = {
        {"Cancel", false, {"first", "added elsewhere"}},
        {"Save anyway", true, {"first", "Sample #: 1"}},
        {QString("Save As%1").arg(QChar(0x2026)), true, {"first", "added elsewhere"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.answer.toStdString());
        SaveCollection(lot, {"first"});
        CChildFrame& child = OpenAndRecord();
        SaveCollection(lot, {"first", "added elsewhere"});  // the other program's save
        QString asked;
        const std::string copy = folder.File("copy.tdr");
        Answer(row.answer, &asked,
               row.answer.startsWith("Save As") ? QString::fromStdString(copy) : QString());
        EXPECT_EQ(frame.SaveCollection(child, false), row.saved);
        EXPECT_EQ(asked, "LOT.tdr was changed by another program since you opened it.");
        EXPECT_EQ(NamesIn(lot), row.lotAfter);
        EXPECT_EQ(child.Document().IsModified(), !row.saved);
        if (row.answer.startsWith("Save As")) {
            EXPECT_EQ(NamesIn(copy), (std::vector<std::string>{"first", "Sample #: 1"}));
        }
        delete &child;
    }
    // Unchanged on disk, nothing is asked: the window's own save is not a change.
    SaveCollection(lot, {"first"});
    CChildFrame& child = OpenAndRecord();
    ASSERT_TRUE(frame.SaveCollection(child, false));
    QTest::mouseClick(&child.Graph(), Qt::LeftButton);
    QTest::mouseClick(&child.Graph(), Qt::RightButton);
    ASSERT_TRUE(frame.SaveCollection(child, false));
    EXPECT_EQ(NamesIn(lot).size(), 3u);
}

// A collection that another program has open is opened here only when the
// operator agrees; the same file under another name is the window already open.
TEST_F(SharedFiles, ACollectionOpenElsewhereIsOpenedOnlyWhenTheOperatorAgrees) {
    FileHold otherProgram(lot);
    SaveCollection(lot, {"first", "saved by a third"});  // a new file in its place
    QString asked;
    Answer("No", &asked);
    EXPECT_EQ(frame.OpenCollection(QString::fromStdString(lot)), nullptr);
    EXPECT_EQ(asked.toStdString(),
              "LOT.tdr is already open in another Orvik or orvik-cli.\nChanges saved in one are "
              "not shown in the other.\nOpen it here as well?");
    EXPECT_TRUE(frame.Children().isEmpty());

    Answer("Yes", &asked);
    CChildFrame* child = frame.OpenCollection(QString::fromStdString(lot));
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(FileIsHeld(lot)) << "held here too";

    const std::string link = folder.File("link.tdr");
    std::filesystem::create_symlink("LOT.tdr", link);
    EXPECT_EQ(frame.OpenCollection(QString::fromStdString(link)), child);
    EXPECT_EQ(frame.Children().size(), 1);
}

// Recovering a journal of a collection that a window here has open would make
// two windows save over each other: the operator is asked first.
TEST_F(SharedFiles, RecoveringACollectionOpenInAWindowAsksFirst) {
    const std::string recovery = folder.File("recovery");
    {
        COrvikDoc crashed;
        ASSERT_TRUE(crashed.Open(lot).Ok());
        RecoveryJournal journal(recovery, crashed);
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = "unsaved";
        crashed.AppendItem(std::move(trace));
        crashed.UpdateAllViews();
    }
    ASSERT_NE(frame.OpenCollection(QString::fromStdString(lot)), nullptr);
    std::vector<LeftoverJournal> journals = FindLeftoverJournals(recovery);
    ASSERT_EQ(journals.size(), 1u);
    QString asked;
    Answer("No", &asked);
    EXPECT_EQ(frame.RecoverCollection(journals.front()), nullptr);
    EXPECT_TRUE(asked.startsWith("LOT.tdr is already open in another window of this program."))
        << asked.toStdString();
    EXPECT_EQ(frame.Children().size(), 1);
    EXPECT_TRUE(std::filesystem::exists(journals.front().Path())) << "kept for later";
}

}  // namespace
}  // namespace orvik
