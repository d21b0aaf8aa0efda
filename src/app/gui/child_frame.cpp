#include "app/gui/child_frame.h"

#include <QCloseEvent>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>

#include "app/gui/browse_view.h"
#include "app/gui/graph_view.h"
#include "base/gui/prompt_dialogs.h"
#include "chart/gui/vivid_tree_widget.h"
#include "collection/orvik_doc.h"
#include "journal/recovery_journal.h"
#include "report/gui/preferences_dialog.h"

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
    browse_->SelectedTracesChanged = [this](const std::vector<const TraceRecord*>& traces) {
        graph_->ShowSelectedTraces(traces);
    };
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({250, 750});
    connect(splitter_, &QSplitter::splitterMoved, this,
            [this] { QSettings().setValue(kTreeWidthSetting, splitter_->sizes().value(0)); });
    setWidget(splitter_);
    UseColourSet(HighContrastColours());
    UseDisplayUnits(CurrentDisplayUnits());
    browse_->InitialUpdate();
    graph_->InitialUpdate();
    UpdateTitle();
}

void CChildFrame::UseColourSet(bool highContrast) {
    browse_->UseColourSet(highContrast);
    graph_->UseColourSet(highContrast);
}

void CChildFrame::UseDisplayUnits(const DisplayUnits& units) {
    graph_->SetDisplayUnits(units);
}

CChildFrame::~CChildFrame() {
    // The views observe the collection; they go before it does.
    delete splitter_;
    if (journal_ && discardJournal_) {
        journal_->Discard();
    }
}

int CChildFrame::DefaultTreeWidth() const {
    constexpr int kSpecifiedWidth = 250;
    const QTreeWidget& tree = *browse_->Tree();
    // The longer of a trace at the root and a scripted coupon's trace two
    // levels down (script, coupon, trace), each with the branch marks' indents,
    // the leaf icon, the text and room for the vertical scroll bar once the
    // tree grows: on a scripted lot the verdicts are what the operator reads.
    const QFontMetrics metrics = tree.fontMetrics();
    const int rootLine =
        tree.indentation() + metrics.horizontalAdvance("SD - Sample #: 100,  100.00   FAIL");
    const int scriptedLine = 3 * tree.indentation() +
                             metrics.horizontalAdvance("DD - LOT4471-1001-DIFF,  100.00   FAIL");
    const int icon = tree.iconSize().isValid() ? tree.iconSize().width() : 16;
    const int scrollBar = tree.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int needed =
        std::max(rootLine, scriptedLine) + icon + scrollBar + 4 * tree.frameWidth() + 16;
    return std::max(kSpecifiedWidth, needed);
}

void CChildFrame::showEvent(QShowEvent* event) {
    QMdiSubWindow::showEvent(event);
    if (treeSized_) {
        return;
    }
    // Sized once the window has its own width, so that the tree keeps its
    // pixels instead of a share of a window not laid out yet.
    treeSized_ = true;
    const int stored = QSettings().value(kTreeWidthSetting, 0).toInt();
    const int tree = stored > 0 ? stored : DefaultTreeWidth();
    splitter_->setSizes({tree, std::max(1, splitter_->width() - tree)});
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
    if (event->isAccepted()) {
        // Its deletion waits for the event loop; the file is free already.
        document_->ReleaseFile();
    }
}

}  // namespace orvik
