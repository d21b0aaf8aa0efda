#include "app/gui/child_frame.h"

#include <QCloseEvent>
#include <QSplitter>

#include "app/gui/browse_view.h"
#include "app/gui/graph_view.h"
#include "base/gui/prompt_dialogs.h"
#include "collection/orvik_doc.h"
#include "journal/recovery_journal.h"

namespace orvik {

CChildFrame::CChildFrame(std::unique_ptr<COrvikDoc> document, TestStation& station, QWidget* parent)
    : QMdiSubWindow(parent), document_(std::move(document)) {
    setAttribute(Qt::WA_DeleteOnClose);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    browse_ = new CBrowseView(*document_, station, splitter_);
    graph_ = new CGraphView(*document_, station, splitter_);
    splitter_->addWidget(browse_);
    splitter_->addWidget(graph_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({250, 750});
    setWidget(splitter_);
    browse_->InitialUpdate();
    graph_->InitialUpdate();
    UpdateTitle();
}

CChildFrame::~CChildFrame() {
    // The views observe the collection; they go before it does.
    delete splitter_;
    if (journal_ && discardJournal_) {
        journal_->Discard();
    }
}

void CChildFrame::SetJournal(std::unique_ptr<RecoveryJournal> journal) {
    journal_ = std::move(journal);
}

void CChildFrame::UpdateTitle() {
    setWindowTitle(PathToQt(document_->Title()) + (document_->IsModified() ? " *" : ""));
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (CanClose && !CanClose(*this)) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace orvik
