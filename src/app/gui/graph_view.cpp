#include "app/gui/graph_view.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QWheelEvent>
#include <algorithm>

#include "app/gui/graph_gestures.h"
#include "app/test_station.h"
#include "base/gui/prompt_dialogs.h"
#include "chart/coloured_text.h"
#include "chart/gui/xgraph_widget.h"
#include "chart/trace_overlay.h"
#include "collection/reference_mask.h"
#include "criteria/criteria_library.h"

namespace orvik {
namespace {

constexpr int kPromptWidth = 200;
constexpr int kPromptHeight = 100;
// The box's distance from the plot's right and bottom edges.
constexpr int kPromptInset = 8;
// The line saying that selected traces were left out, below the verdict.
constexpr PixelRect kNoticeRect{55, 190, 900, 210};
constexpr std::int32_t kNoticeHeight = 16;

}  // namespace

CGraphView::CGraphView(COrvikDoc& document, TestStation& station, QWidget* parent)
    : QWidget(parent), document_(document), station_(station) {
    setObjectName("graphView");
    setMinimumSize(300, 200);
    chart_ = new XGraphWidget(this);
    chart_->setObjectName("XGraph");
    // The plot's place is known once the chart has painted; the prompt box follows it.
    connect(chart_, &XGraphWidget::Painted, this, &CGraphView::PlacePrompt);
    gestures_ = std::make_unique<GraphGestures>(*chart_);
    gestures_->MoreToAvoid = [this] {
        std::vector<PixelRect> more;
        if (prompt_ != nullptr) {
            const QRect r = prompt_->geometry();
            more.push_back({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
        }
        return more;
    };
    // The cursor follows the pointer; keys zoom and pan once the view has
    // been clicked.
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    document_.AddObserver(this);
}

CGraphView::~CGraphView() {
    document_.RemoveObserver(this);
}

void CGraphView::ShowCurrentTrace() {
    const TraceRecord& trace = document_.TraceTemplate;
    // The chart refers to the current trace's samples; they are handed over
    // again on every update, after any change to them. A trace without
    // samples shows one point at the origin, so that the chart never keeps a
    // reference to an array that has gone.
    const TraceSample* samples = trace.Samples.empty() ? &noSamples_ : trace.Samples.data();
    const std::int32_t count = trace.Samples.empty() ? 1 : trace.SampleCount();
    chart_->SetCurveData(samples, count, &TraceSample::Position, &TraceSample::Impedance, 0, 0, 0,
                         false);
}

void CGraphView::InitialUpdate() {
    document_.TraceTemplate.MakeBlank(station_.Selector().SelectedCriterion());
    chart_->setEnabled(false);  // clicks go to the view
    ShowCurrentTrace();
    ShowTraceChart(*chart_, GraphSummary(), 100.0, std::nullopt, highContrast_);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i] = &TraceChartLabel(*chart_, static_cast<GraphSummary::Label>(i));
    }
    if (notice_ == nullptr) {
        notice_ = chart_->AddFontLabel(kNoticeRect, kNoticeHeight, kBlack, "");
        notice_->Visible = false;
    }
    ShowPositionsIn(*chart_, gestures_->Units().Length);
    chart_->Invalidate();
}

void CGraphView::OnDocumentUpdate(COrvikDoc&, DocumentObserver* sender, const DocumentChange&) {
    if (sender == this || labels_[0] == nullptr) {
        return;
    }
    const TraceRecord& trace = document_.TraceTemplate;
    ShowCurrentTrace();
    double axisTop = CurrentImpedanceAxisTop(document_);
    for (const OverlayTrace& other : overlay_) {
        axisTop = std::max(axisTop, ImpedanceAxisTop(other.Average));
    }
    ShowTraceChart(*chart_, SummariseCurrentTrace(document_, gestures_->Units().Length), axisTop,
                   LimitsOf(trace), highContrast_);
    ShowPositionsIn(*chart_, gestures_->Units().Length);
    ShowReferenceMask(*chart_, trace, station_.References().References(), highContrast_);
    ShowOverlaidTraces();
    UpdateScriptPrompt();
    chart_->Invalidate();
}

void CGraphView::UseColourSet(bool highContrast) {
    highContrast_ = highContrast;
    if (labels_[0] != nullptr) {
        OnDocumentUpdate(document_, nullptr, DocumentChange{});
    }
}

void CGraphView::UpdateScriptPrompt() {
    if (document_.ActiveScript == nullptr) {
        delete prompt_;
        prompt_ = nullptr;
        return;
    }
    if (prompt_ == nullptr) {
        prompt_ = new QLabel(chart_);
        prompt_->setObjectName("Script");
        prompt_->setAutoFillBackground(true);
        prompt_->setStyleSheet("background-color: rgb(192, 192, 192); color: black;");
        prompt_->setAlignment(Qt::AlignCenter);
        prompt_->setWordWrap(true);
        prompt_->setContentsMargins(0, 15, 0, 0);
        prompt_->setAttribute(Qt::WA_TransparentForMouseEvents);
        PlacePrompt();
        prompt_->show();
    }
    const Criterion* next = document_.ActiveElement
                                ? station_.Library().FindById(document_.ActiveElement->CriterionId)
                                : nullptr;
    if (const auto text = ScriptPromptText(document_, next)) {
        prompt_->setText(ToQt(*text));
    }
}

void CGraphView::PlacePrompt() {
    if (!prompt_) {
        return;
    }
    // In the plot's lower right corner above the position axis' title, clear
    // of the axes' numbers and titles; before the chart has been laid out, or
    // in a plot too small for it, in the view's corner.
    const PixelRect& plot = chart_->PlotRect();
    const std::int32_t bottom = chart_->XAxisAt(0).TitleBox().top - kPromptInset;
    QRect place(width() - 210, height() - 130, kPromptWidth, kPromptHeight);
    if (plot.right - plot.left > kPromptWidth + kPromptInset &&
        bottom - plot.top > kPromptHeight + kPromptInset) {
        place.moveBottomRight(QPoint(plot.right - kPromptInset, bottom));
    }
    if (prompt_->geometry() != place) {
        prompt_->setGeometry(place);
    }
}

void CGraphView::SetChartColours(std::uint32_t colour) {
    chart_->BackColour = chart_->GraphColour = chart_->PlotColour = colour;
}

void CGraphView::resizeEvent(QResizeEvent*) {
    chart_->setGeometry(rect());
    PlacePrompt();
}

bool CGraphView::Print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle("Print");
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    PrintOn(printer);
    return true;
}

void CGraphView::PrintOn(QPrinter& printer) {
    // Live mode would refill the trace half way through the page.
    const bool savedLiveMode = station_.LiveMode();
    station_.SetLiveMode(false);
    SetChartColours(kWhite);
    chart_->PrintTo(printer);
    SetChartColours(TraceChartBackground(highContrast_));
    chart_->Invalidate();
    station_.SetLiveMode(savedLiveMode);
}

void CGraphView::SetDisplayUnits(const DisplayUnits& units) {
    gestures_->SetDisplayUnits(units);
    // The summary's positions follow too.
    if (labels_[0] != nullptr) {
        OnDocumentUpdate(document_, nullptr, DocumentChange{});
    }
}

void CGraphView::ShowSelectedTraces(const std::vector<const TraceRecord*>& selection) {
    const bool wasOverlay = !overlay_.empty();
    overlay_.clear();
    selected_ = selection.size();
    if (selection.size() > 1) {
        for (std::size_t i : ChooseOverlaid(selection.size())) {
            const TraceRecord& trace = *selection[i];
            overlay_.push_back(
                {trace.Name, trace.Average,
                 std::vector<TraceSample>(trace.Samples.begin(), trace.Samples.end())});
        }
    }
    if ((wasOverlay || !overlay_.empty()) && labels_[0] != nullptr) {
        OnDocumentUpdate(document_, nullptr, DocumentChange{});
    }
}

void CGraphView::ShowOverlaidTraces() {
    std::vector<OverlaidCurve> curves;
    if (!overlay_.empty()) {
        // The current trace is curve 0 already and comes first; the others
        // keep the colours of their places in the selection.
        curves.push_back(
            {{}, 0, overlay_.back().Name, OverlayColour(overlay_.size() - 1, highContrast_)});
        for (std::size_t i = 0; i + 1 < overlay_.size(); ++i) {
            const OverlayTrace& other = overlay_[i];
            curves.push_back({CurvePointSource::Of(other.Samples.data(), &TraceSample::Position,
                                                   &TraceSample::Impedance),
                              static_cast<std::int32_t>(other.Samples.size()), other.Name,
                              OverlayColour(i, highContrast_)});
        }
    }
    if (!curves.empty() || chart_->CurveCount() > 1) {
        ShowOverlay(*chart_, curves, highContrast_);
    }
    if (notice_ != nullptr) {
        notice_->Text = OverlayNotice(selected_);
        notice_->Visible = !notice_->Text.empty();
        notice_->TextColour = kBlack;
        notice_->Outline = OutlineFor(kBlack);
    }
}

void CGraphView::mouseMoveEvent(QMouseEvent* event) {
    gestures_->Move(*event);
}

void CGraphView::mouseReleaseEvent(QMouseEvent* event) {
    gestures_->Release(*event);
}

void CGraphView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click of a double click ran its test already; the second
    // resets the view. Other buttons act on every press as before.
    if (!gestures_->DoubleClick(*event)) {
        mousePressEvent(event);
    }
}

void CGraphView::wheelEvent(QWheelEvent* event) {
    setFocus(Qt::MouseFocusReason);
    gestures_->Wheel(*event);
}

void CGraphView::keyPressEvent(QKeyEvent* event) {
    if (!gestures_->Key(*event)) {
        QWidget::keyPressEvent(event);
    }
}

void CGraphView::leaveEvent(QEvent*) {
    gestures_->Leave();
}

void CGraphView::mousePressEvent(QMouseEvent* event) {
    if (gestures_->Press(*event)) {
        return;
    }
    if (event->button() == Qt::LeftButton) {
        station_.RunTest(document_);
    } else if (event->button() == Qt::RightButton) {
        station_.RecordTest(document_);
    }
}

}  // namespace orvik
