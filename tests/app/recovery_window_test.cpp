#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "app/gui/browse_view.h"
#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/graph_view.h"
#include "app/gui/main_frame.h"
#include "base/gui/prompt_dialogs.h"
#include "chart/gui/vivid_tree_widget.h"
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

// Answers the next message box with the button whose text is `button`.
void AnswerNextBox(const QString& button) {
    QTimer::singleShot(0, [button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            for (QAbstractButton* candidate : box->buttons()) {
                if (candidate->text().remove('&') == button) {
                    candidate->click();
                    return;
                }
            }
        }
    });
}

class RecoveryWindow : public ::testing::Test {
  protected:
    RecoveryWindow() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        EXPECT_TRUE(library.Save(folder.File("criteria.dat")).Ok());
        frame.LoadCriteriaLibrary(folder.File("criteria.dat"));
        frame.SetRecoveryFolder(recovery);
    }

    // A new collection with one trace recorded in it.
    CChildFrame* RecordOneTrace() {
        frame.ProcessCommandLine({});
        emit frame.SelectorWidget()->activated(0);
        CChildFrame* child = frame.ActiveChild();
        QTest::mouseClick(&child->Graph(), Qt::LeftButton);
        QTest::mouseClick(&child->Graph(), Qt::RightButton);
        return child;
    }

    // A program that recorded two traces into LOT7.tdr after saving it with
    // one, and then died.
    void LeaveJournalOfLot7() {
        COrvikDoc document;
        auto first = std::make_unique<TraceRecord>();
        first->Name = "saved";
        document.AppendItem(std::move(first));
        ASSERT_TRUE(document.SaveAs(lot7).Ok());
        RecoveryJournal journal(recovery, document);
        for (const char* name : {"Sample #: 2", "Sample #: 3"}) {
            auto trace = std::make_unique<TraceRecord>();
            trace->Name = name;
            document.AppendItem(std::move(trace));
            document.UpdateAllViews();
        }
        expected = document.ToBytes();
    }

    std::size_t JournalsLeft() { return FindLeftoverJournals(recovery).size(); }

    testing::TemporaryFolder folder;
    std::string recovery = folder.File("recovery");
    std::string lot7 = folder.File("LOT7.tdr");
    std::vector<std::uint8_t> expected;
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
};

TEST_F(RecoveryWindow, RecoverOpensTheCollectionWithTheUnsavedTracesBeforeAnythingElse) {
    LeaveJournalOfLot7();
    QStringList asked;
    frame.AskRecovery = [&](const QStringList& offers) {
        asked = offers;
        return QList<CMainFrame::RecoveryChoice>{CMainFrame::RecoveryChoice::Recover};
    };
    frame.OfferRecovery();
    frame.ProcessCommandLine({});
    EXPECT_EQ(asked,
              QStringList{"LOT7.tdr in " + ToQt(folder.Path().string()) + ": 2 unsaved traces"});
    ASSERT_EQ(frame.Children().size(), 1) << "no new collection beside the recovered one";
    CChildFrame& child = *frame.ActiveChild();
    EXPECT_EQ(child.Document().ToBytes(), expected);
    EXPECT_TRUE(child.Document().IsModified());
    EXPECT_EQ(child.windowTitle(), "LOT7.tdr *");
    EXPECT_EQ(child.Browse().Tree()->topLevelItemCount(), 3);
    // The window's own journal holds the changes now; the old one is gone.
    ASSERT_NE(child.Journal(), nullptr);
    EXPECT_EQ(child.Journal()->EntriesWritten(), 2u);
    EXPECT_EQ(JournalsLeft(), 0u);
    EXPECT_FALSE(LeftoverJournal::Open(child.Journal()->FilePath()).Ok()) << "held by the window";
}

TEST_F(RecoveryWindow, LaterKeepsTheJournalAndDiscardRemovesIt) {
    LeaveJournalOfLot7();
    frame.AskRecovery = [](const QStringList&) {
        return QList<CMainFrame::RecoveryChoice>{CMainFrame::RecoveryChoice::Later};
    };
    frame.OfferRecovery();
    EXPECT_TRUE(frame.Children().isEmpty());
    EXPECT_EQ(JournalsLeft(), 1u);
    frame.AskRecovery = [](const QStringList&) {
        return QList<CMainFrame::RecoveryChoice>{CMainFrame::RecoveryChoice::Discard};
    };
    frame.OfferRecovery();
    EXPECT_TRUE(frame.Children().isEmpty());
    EXPECT_EQ(JournalsLeft(), 0u);
}

TEST_F(RecoveryWindow, ACollectionThatChangedSinceGivesItsUnsavedTracesAsANewCollection) {
    LeaveJournalOfLot7();
    COrvikDoc other;
    ASSERT_TRUE(other.SaveAs(lot7).Ok());
    QStringList asked;
    frame.AskRecovery = [&](const QStringList& offers) {
        asked = offers;
        return QList<CMainFrame::RecoveryChoice>{CMainFrame::RecoveryChoice::Recover};
    };
    frame.OfferRecovery();
    EXPECT_EQ(asked, QStringList{"LOT7.tdr in " + ToQt(folder.Path().string()) +
                                 " has changed since; 2 unsaved traces open as a new collection"});
    ASSERT_EQ(frame.Children().size(), 1);
    const COrvikDoc& recovered = frame.ActiveChild()->Document();
    EXPECT_EQ(recovered.Title(), "Untitled");
    EXPECT_EQ(recovered.Items().size(), 2u) << "the journal's traces, not the other program's file";
    EXPECT_EQ(JournalsLeft(), 0u);
}

TEST_F(RecoveryWindow, RecordsAreJournalledAndNoOnCloseRemovesTheJournal) {
    CChildFrame* child = RecordOneTrace();
    ASSERT_NE(child->Journal(), nullptr);
    const std::string path = child->Journal()->FilePath();
    EXPECT_EQ(child->Journal()->EntriesWritten(), 1u);
    ASSERT_TRUE(std::filesystem::exists(path));

    AnswerNextBox("Cancel");
    child->close();
    QApplication::processEvents();
    ASSERT_EQ(frame.Children().size(), 1) << "cancelled";
    EXPECT_TRUE(std::filesystem::exists(path));

    AnswerNextBox("No");
    child->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.Children().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RecoveryWindow, SavingEmptiesTheWindowsJournalAndClosingRemovesIt) {
    CChildFrame* child = RecordOneTrace();
    const std::string path = child->Journal()->FilePath();
    child->Document().SetPath(lot7);
    ASSERT_TRUE(frame.SaveCollection(*child, false));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    child->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// The text of the next message box, answered with `button`; empty until it
// has been shown.
std::shared_ptr<QString> AnswerNextBoxAndKeepItsText(const QString& button) {
    auto text = std::make_shared<QString>();
    QTimer::singleShot(0, [button, text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            for (QAbstractButton* candidate : box->buttons()) {
                if (candidate->text().remove('&') == button) {
                    candidate->click();
                }
            }
        }
    });
    return text;
}

TEST_F(RecoveryWindow, AJournalThatCannotBeWrittenIsToldAndShownUntilItIsWrittenAgain) {
    testing::WriteFile(recovery, {1});  // a file where the folder should be
    CChildFrame* child = RecordOneTrace();
    QLabel* warning = frame.JournalWarning();
    EXPECT_TRUE(warning->isVisibleTo(&frame));
    EXPECT_EQ(warning->text(), QString::fromUtf8("Not protected against a crash \u2014 save now"));
    // Told once the Record Test is over.
    const auto told = AnswerNextBoxAndKeepItsText("OK");
    QApplication::processEvents();
    EXPECT_TRUE(told->contains(ToQt(recovery))) << told->toStdString();
    EXPECT_TRUE(told->contains("a file of that name is in the way")) << told->toStdString();

    // Room again: the next attempt writes the trace, and the warning goes.
    std::filesystem::remove(recovery);
    auto* retry = frame.findChild<QTimer*>("journalRetry");
    ASSERT_NE(retry, nullptr);
    ASSERT_TRUE(retry->isActive());
    retry->setInterval(1);
    QTRY_VERIFY_WITH_TIMEOUT(!warning->isVisibleTo(&frame), 5000);
    EXPECT_FALSE(retry->isActive());
    EXPECT_EQ(child->Journal()->EntriesWritten(), 1u);
}

TEST_F(RecoveryWindow, WhatProgramsThatDiedLeftBehindGoesAtStart) {
    LeaveJournalOfLot7();
    const std::string ended = std::to_string(testing::EndedProcessId());
    const std::string save = folder.File(".LOT7.tdr." + ended + "-0");
    const std::string journal = recovery + "/journal-" + ended + "-1-0.orj.new";
    testing::WriteFile(save, {1});
    testing::WriteFile(journal, {1});
    frame.AskRecovery = [](const QStringList& offers) {
        return QList<CMainFrame::RecoveryChoice>(offers.size(), CMainFrame::RecoveryChoice::Later);
    };
    frame.OfferRecovery();
    EXPECT_FALSE(std::filesystem::exists(save));
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(JournalsLeft(), 1u);
}

TEST_F(RecoveryWindow, SeveralJournalsAreOfferedInOneWindow) {
    LeaveJournalOfLot7();
    {
        COrvikDoc untitled;  // a second program's new collection
        RecoveryJournal journal(recovery, untitled);
        untitled.AppendItem(std::make_unique<TraceRecord>());
        untitled.UpdateAllViews();
    }
    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        for (int row = 0; row < list->count(); ++row) {
            shown.append(list->item(row)->text());
        }
        list->item(1)->setCheckState(Qt::Unchecked);  // kept for later
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == "Recover") {
                button->click();
            }
        }
    });
    frame.OfferRecovery();
    EXPECT_EQ(shown,
              (QStringList{"LOT7.tdr in " + ToQt(folder.Path().string()) + ": 2 unsaved traces",
                           "Untitled: 1 unsaved trace"}));
    ASSERT_EQ(frame.Children().size(), 1);
    EXPECT_EQ(frame.ActiveChild()->Document().ToBytes(), expected);
    EXPECT_EQ(JournalsLeft(), 1u);
}

}  // namespace
}  // namespace orvik
