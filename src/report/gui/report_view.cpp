#include "report/gui/report_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include "report/gui/report_painting.h"

namespace orvik {

CReportView::CReportView(COrvikDoc& document, const ReportPreferences& preferences, QWidget* parent)
    : QAbstractScrollArea(parent), document_(&document), preferences_(preferences) {
    setObjectName("reportView");
    viewport()->setAutoFillBackground(true);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    viewport()->setPalette(palette);
    viewport()->setFont(ReportFont());
    document.AddObserver(this);
    UpdateScrollBars();
}

CReportView::~CReportView() {
    if (document_) {
        document_->RemoveObserver(this);
    }
}

void CReportView::OnDocumentUpdate(COrvikDoc&, DocumentObserver*, const DocumentChange& change) {
    // The report shows the collection's items: a refilled current trace (every
    // tick of live mode) changes nothing in it; every change of the items does.
    if (change.What == DocumentChange::Kind::CurrentTrace) {
        return;
    }
    content_.reset();
    layout_.reset();
    viewport()->update();
    emit Changed();
}

void CReportView::DetachDocument() {
    document_ = nullptr;
    content_.reset();
    layout_.reset();
    viewport()->update();
}

ReportContent CReportView::Content() const {
    if (!document_) {
        return {};
    }
    return ReportBuilder(document_->Items(), preferences_).Content();
}

const ReportLayout& CReportView::ScreenLayout() {
    if (!content_ || !(preferencesUsed_ == preferences_)) {
        // The preferences may have been edited since: they are no part of the
        // collection's change notice, so they are compared instead.
        preferencesUsed_ = preferences_;
        content_ = Content();
        layout_.reset();
    }
    if (!layout_) {
        layout_ = LayOutReport(*content_,
                               MetricsOf(*viewport(), viewport()->font(), ReportMedium::Screen));
        width_ = layout_->Width;
        height_ = layout_->Height;
        UpdateScrollBars();
    }
    return *layout_;
}

QString CReportView::StatusText() {
    ScreenLayout();
    return QString::fromStdString(content_->LimitNote());
}

void CReportView::paintEvent(QPaintEvent* event) {
    const ReportLayout& layout = ScreenLayout();
    QPainter painter(viewport());
    painter.setFont(viewport()->font());
    painter.setPen(Qt::black);
    const int left = horizontalScrollBar()->value();
    const int top = verticalScrollBar()->value();
    painter.translate(-left, -top);
    const QRect exposed = event->rect().translated(left, top);
    PaintReportLines(painter, layout.Pages.front(), exposed.top(), exposed.bottom() + 1);
}

void CReportView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CReportView::UpdateScrollBars() {
    const QSize page = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, width_ - page.width()));
    horizontalScrollBar()->setPageStep(page.width());
    verticalScrollBar()->setRange(0, std::max(0, height_ - page.height()));
    verticalScrollBar()->setPageStep(page.height());
    verticalScrollBar()->setSingleStep(std::max(1, fontMetrics().lineSpacing()));
}

}  // namespace orvik
