// The main window's recovery of collections whose program ended without
// saving them: the start-up question for each journal left behind, and the
// collection window that a recovered journal opens.
#include <QMessageBox>
#include <QPushButton>

#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "base/gui/prompt_dialogs.h"
#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "app";

CMainFrame::RecoveryChoice AskWithMessageBox(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, "Orvik", question, QMessageBox::NoButton, parent);
    QPushButton* recover = box.addButton("Recover", QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton("Later", QMessageBox::RejectRole);
    box.setDefaultButton(recover);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover) {
        return CMainFrame::RecoveryChoice::Recover;
    }
    return box.clickedButton() == discard ? CMainFrame::RecoveryChoice::Discard
                                          : CMainFrame::RecoveryChoice::Later;
}

}  // namespace

void CMainFrame::OfferRecovery() {
    if (recoveryFolder_.empty()) {
        return;
    }
    for (LeftoverJournal& journal : FindLeftoverJournals(recoveryFolder_, *log_)) {
        if (journal.NothingToRecover()) {
            // Nothing the operator saw is in it.
            log_->Info(kLogSource, "Removed " + journal.Path() + ": nothing to recover");
            static_cast<void>(journal.Discard());
            continue;
        }
        if (!journal.HasChanges()) {
            log_->Warning(kLogSource, "Kept " + journal.Path() + ": it cannot be read");
            continue;
        }
        const QString question = ToQt(RecoveryQuestion(journal));
        const RecoveryChoice choice =
            AskRecovery ? AskRecovery(question) : AskWithMessageBox(this, question);
        if (choice == RecoveryChoice::Recover) {
            RecoverCollection(journal);
        } else if (choice == RecoveryChoice::Discard) {
            if (const Status removed = journal.Discard(); !removed) {
                log_->Warning(kLogSource, removed.Error().Message);
            }
        }
    }
}

CChildFrame* CMainFrame::RecoverCollection(LeftoverJournal& journal) {
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
               "Recovered " + std::to_string(rebuilt->Applied) + " changes from " + journal.Path());
    if (rebuilt->Lost != 0) {
        QMessageBox::warning(this, "Orvik",
                             QString("%1 entries at the end of the journal could not be "
                                     "recovered; they were damaged or not completely written.")
                                 .arg(rebuilt->Lost));
    }
    return child;
}

}  // namespace orvik
