#include "collection/graph_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/prompt_dialogs.h"
#include "app/test_station.h"
#include "collection/graph_summary.h"

namespace orvik {

CGraphView::CGraphView(COrvikDoc& document, TestStation& station, QWidget* parent)
    : QWidget(parent), document_(document), station_(station) {
    setObjectName("graphView");
    setMinimumSize(300, 200);
    document_.AddObserver(this);
}

CGraphView::~CGraphView() {
    document_.RemoveObserver(this);
}

void CGraphView::InitialUpdate() {
    document_.TraceTemplate.MakeBlank(station_.Selector().SelectedCriterion());
    showLabels_ = false;
    update();
}

void CGraphView::OnDocumentUpdate(COrvikDoc&, DocumentObserver* sender) {
    if (sender == this) {
        return;
    }
    showLabels_ = true;
    update();
}

void CGraphView::Print() {}

void CGraphView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(120, 120, 120));
    const TraceRecord& trace = document_.TraceTemplate;
    const double top = ImpedanceAxisTop(trace.Average);
    QPolygonF line;
    for (const TraceSample& sample : trace.Samples) {
        line << QPointF(sample.Position / 10.0 * width(),
                        height() - sample.Impedance / top * height());
    }
    painter.setPen(QColor(100, 255, 100));
    painter.drawPolyline(line);
    if (!showLabels_) {
        return;
    }
    const GraphSummary summary = SummariseTrace(trace);
    painter.setPen(Qt::black);
    int y = 20;
    for (const std::string& text : summary.Texts) {
        painter.drawText(55, y, ToQt(text));
        y += 20;
    }
}

void CGraphView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        station_.RunTest(document_);
    } else if (event->button() == Qt::RightButton) {
        station_.RecordTest(document_);
    }
}

}  // namespace orvik
