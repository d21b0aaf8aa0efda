// The main window's recovery of collections whose program ended without
// saving them: the start-up question about the journals left behind, the
// collection window that a recovered journal opens, and the warning while a
// collection's own journal cannot be written.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "base/abandoned_files.h"
#include "base/gui/prompt_dialogs.h"
#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "app";

// One window for every journal: a ticked line each; Recover and Discard act
// on the ticked ones, and the rest wait for the next start.
QList<CMainFrame::RecoveryChoice> AskWithDialog(QWidget* parent, const QStringList& offers) {
    using Choice = CMainFrame::RecoveryChoice;
    QDialog dialog(parent);
    dialog.setObjectName("recoveryDialog");
    dialog.setWindowTitle("Orvik");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(offers.size() == 1
                                     ? "Orvik closed unexpectedly. Recover what was not saved?"
                                     : "Orvik closed unexpectedly. Recover what was not saved? "
                                       "Recover and Discard act on the collections ticked.",
                                 &dialog));
    auto* list = new QListWidget(&dialog);
    for (const QString& offer : offers) {
        auto* item = new QListWidgetItem(offer, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    // As tall as its lines, up to ten; more scroll.
    const int rows = std::clamp(static_cast<int>(offers.size()), 2, 10);
    list->setFixedHeight(rows * list->sizeHintForRow(0) + 2 * list->frameWidth() + 4);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* recover = buttons->addButton("Recover", QDialogButtonBox::AcceptRole);
    QPushButton* discard = buttons->addButton("Discard", QDialogButtonBox::DestructiveRole);
    QPushButton* later = buttons->addButton("Later", QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    Choice chosen = Choice::Later;
    for (auto [button, choice] :
         {std::pair{recover, Choice::Recover}, std::pair{discard, Choice::Discard},
          std::pair{later, Choice::Later}}) {
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &chosen, choice] {
            chosen = choice;
            dialog.done(choice == Choice::Later ? QDialog::Rejected : QDialog::Accepted);
        });
    }
    recover->setDefault(true);
    dialog.resize(640, dialog.sizeHint().height());
    dialog.exec();
    QList<Choice> choices;
    for (int row = 0; row < list->count(); ++row) {
        choices.append(list->item(row)->checkState() == Qt::Checked ? chosen : Choice::Later);
    }
    return choices;
}

}  // namespace

void CMainFrame::OfferRecovery() {
    if (recoveryFolder_.empty()) {
        return;
    }
    RemoveAbandonedJournalFiles(recoveryFolder_, *log_);
    std::vector<std::string> saved{libraryPath_};
    for (const QString& path : QSettings().value("Recent File List/Files").toStringList()) {
        saved.push_back(PathFromQt(path));
    }
    std::vector<LeftoverJournal> offered;
    for (LeftoverJournal& journal : FindLeftoverJournals(recoveryFolder_, *log_)) {
        saved.push_back(journal.CollectionPath());
        if (journal.NothingToRecover()) {
            // Nothing the operator saw is in it, or all of it is saved.
            log_->Info(kLogSource, "Removed " + journal.Path() + ": nothing to recover");
            static_cast<void>(journal.Discard());
        } else if (!journal.HasChanges()) {
            log_->Warning(kLogSource, "Kept " + journal.Path() + ": it cannot be read");
        } else {
            offered.push_back(std::move(journal));
        }
    }
    for (const std::string& path : saved) {
        if (const std::size_t removed = RemoveAbandonedSaveFiles(path); removed > 0) {
            log_->Info(kLogSource, "Removed " + std::to_string(removed) +
                                       " temporary files of unfinished saves beside " + path);
        }
    }
    if (offered.empty()) {
        return;
    }
    QStringList offers;
    for (const LeftoverJournal& journal : offered) {
        // Each names its collection's file.
        offers.append(PathToQt(DescribeRecovery(journal)));
    }
    const QList<RecoveryChoice> choices =
        AskRecovery ? AskRecovery(offers) : AskWithDialog(this, offers);
    for (std::size_t i = 0; i < offered.size() && i < static_cast<std::size_t>(choices.size());
         ++i) {
        if (choices[static_cast<qsizetype>(i)] == RecoveryChoice::Recover) {
            RecoverCollection(offered[i]);
        } else if (choices[static_cast<qsizetype>(i)] == RecoveryChoice::Discard) {
            if (const Status removed = offered[i].Discard(); !removed) {
                log_->Warning(kLogSource, removed.Error().Message);
            }
        }
    }
}

CChildFrame* CMainFrame::RecoverCollection(LeftoverJournal& journal) {
    if (!journal.CollectionPath().empty() && !ConfirmOpenOfHeldFile(journal.CollectionPath())) {
        return nullptr;
    }
    auto document = std::make_unique<COrvikDoc>();
    document->SetLog(*log_);
    // The window's journal listens from the start, so that the recovered
    // changes are on the disk again before the old journal goes.
    auto ownJournal = std::make_unique<RecoveryJournal>(recoveryFolder_, *document, *log_);
    const Result<RecoveredChanges> rebuilt = journal.RebuildInto(*document);
    if (!rebuilt) {
        log_->Warning(kLogSource, "Recovery of " + journal.Path() + " failed: " +
                                      rebuilt.Error().Message + " " + rebuilt.Error().Detail);
        QMessageBox::warning(this, "Orvik",
                             ToQt(rebuilt.Error().Message) + "\n\n" + ToQt(rebuilt.Error().Detail));
        return nullptr;
    }
    const bool kept = ownJournal->Writing();
    if (results_) {
        // Traces the database took before the program ended are found there
        // and counted, not stored again.
        results_->Station().FileCollection(*document);
    }
    CChildFrame* child = AddChild(std::move(document), std::move(ownJournal));
    child->UpdateTitle();
    if (kept) {
        static_cast<void>(journal.Discard());
    }
    log_->Info(kLogSource,
               "Recovered " + std::to_string(rebuilt->Applied) +
                   (rebuilt->AsNewCollection ? " items as a new collection" : " changes") +
                   " from " + journal.Path());
    if (rebuilt->Lost != 0) {
        QMessageBox::warning(this, "Orvik",
                             QString("%1 entries at the end of the journal could not be "
                                     "recovered; they were damaged or not completely written.")
                                 .arg(rebuilt->Lost));
    }
    return child;
}

void CMainFrame::WatchJournal(CChildFrame& child) {
    RecoveryJournal* journal = child.Journal();
    if (journal == nullptr) {
        return;
    }
    // Told after the operation under way has finished: the journal speaks
    // from inside a Record Test or a deletion.
    QPointer<CChildFrame> watched(&child);
    const auto tell = [this, watched] {
        QMetaObject::invokeMethod(
            this,
            [this, watched] {
                if (watched) {
                    ShowJournalProblem(*watched);
                }
            },
            Qt::QueuedConnection);
    };
    journal->SetStateListener([this, tell](RecoveryJournal::State state) {
        UpdateJournalWarning();
        if (state == RecoveryJournal::State::Failed) {
            tell();
        }
    });
    // A window that closes takes its journal, and perhaps the warning, along.
    connect(&child, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { UpdateJournalWarning(); }); });
    UpdateJournalWarning();
    if (!journal->Writing()) {
        tell();  // it failed before the window had it: a recovered collection's
    }
}

void CMainFrame::ShowJournalProblem(CChildFrame& child) {
    const RecoveryJournal* journal = child.Journal();
    if (journal == nullptr || journal->Writing()) {
        return;  // written again meanwhile
    }
    QMessageBox::warning(
        this, "Orvik",
        QString("The recovery journal of %1 cannot be written in %2: %3.\n\n"
                "Until it can, a crash would lose what was changed since the last save. Save "
                "the collection now.")
            .arg(PathToQt(child.Document().Title()), PathToQt(journal->Folder()),
                 ToQt(journal->Problem())));
}

void CMainFrame::UpdateJournalWarning() {
    QStringList problems;
    for (CChildFrame* child : Children()) {
        const RecoveryJournal* journal = child->Journal();
        if (journal != nullptr && !journal->Writing()) {
            problems.append(QString("%1: %2 (%3)")
                                .arg(PathToQt(child->Document().Title()), ToQt(journal->Problem()),
                                     PathToQt(journal->Folder())));
        }
    }
    journalWarning_->setVisible(!problems.isEmpty());
    journalWarning_->setToolTip(problems.join('\n'));
    if (!journalRetry_) {
        // Written again as soon as there is room, whether or not the operator
        // records anything more.
        journalRetry_ = new QTimer(this);
        journalRetry_->setObjectName("journalRetry");
        journalRetry_->setInterval(kJournalRetryMs);
        connect(journalRetry_, &QTimer::timeout, this, [this] {
            for (CChildFrame* child : Children()) {
                if (RecoveryJournal* journal = child->Journal(); journal && !journal->Writing()) {
                    journal->Retry();
                }
            }
        });
    }
    if (problems.isEmpty()) {
        journalRetry_->stop();
    } else if (!journalRetry_->isActive()) {
        journalRetry_->start();
    }
}

}  // namespace orvik
