#include "app/gui/graph_view.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>

#include "base/gui/prompt_dialogs.h"
#include "app/test_station.h"
#include "chart/gui/xgraph_widget.h"

namespace orvik {
namespace {

constexpr ChartColour kChartGrey = 0x787878;
constexpr ChartColour kCurveColour = 0x64ff64;
constexpr ChartColour kNameColour = 0xc80000;
constexpr int kPromptWidth = 200;
constexpr int kPromptHeight = 100;

struct LabelPlace {
    PixelRect Rect;
    std::int32_t FontHeight;
    ChartColour Colour;
};

// Where each summary label stands, in the order of GraphSummary::Label.
constexpr std::array<LabelPlace, GraphSummary::Count> kLabelPlaces = {{
    {{55, 0, 1000, 25}, 22, kNameColour},
    {{55, 25, 300, 45}, 18, kBlack},
    {{55, 45, 300, 65}, 18, kBlack},
    {{55, 65, 300, 85}, 18, kBlack},
    {{55, 85, 300, 105}, 18, kBlack},
    {{55, 105, 300, 125}, 18, kBlack},
    {{55, 125, 300, 145}, 18, kBlack},
    {{55, 145, 400, 190}, 40, kVerdictPassColour},
}};

}  // namespace

CGraphView::CGraphView(COrvikDoc& document, TestStation& station, QWidget* parent)
    : QWidget(parent), document_(document), station_(station) {
    setObjectName("graphView");
    setMinimumSize(300, 200);
    chart_ = new XGraphWidget(this);
    chart_->setObjectName("XGraph");
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
    const bool firstTime = labels_[0] == nullptr;
    chart_->DoubleBuffered = true;
    chart_->ShowLegend = false;
    chart_->setEnabled(false);  // clicks go to the view
    SetChartColours(kChartGrey);
    ShowCurrentTrace();
    CXGraphDataSerie& curve = chart_->CurveAt(0);
    curve.Label = "Trace";
    curve.Colour = kCurveColour;
    CXGraphAxis& y = chart_->YAxisAt(0);
    CXGraphAxis& x = chart_->XAxisAt(0);
    y.SetDataRange(0.0, 100.0);
    y.Format = "%.2f";
    for (CXGraphAxis* axis : {&x, &y}) {
        axis->ShowGrid = true;
        axis->ShowCurveMarkers = false;
    }
    y.Title = "Ohms";
    x.Title = "Inches";
    if (firstTime) {
        for (std::size_t i = 0; i < kLabelPlaces.size(); ++i) {
            const LabelPlace& place = kLabelPlaces[i];
            labels_[i] = chart_->AddFontLabel(place.Rect, place.FontHeight, place.Colour, "");
        }
    }
    chart_->Invalidate();
}

void CGraphView::UpdateLabels() {
    const GraphSummary summary = SummariseTrace(document_.TraceTemplate);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i]->Text = summary.Texts[i];
    }
    labels_[GraphSummary::Verdict]->TextColour = summary.VerdictColour;
}

void CGraphView::OnDocumentUpdate(COrvikDoc&, DocumentObserver* sender) {
    if (sender == this || labels_[0] == nullptr) {
        return;
    }
    const TraceRecord& trace = document_.TraceTemplate;
    ShowCurrentTrace();
    CXGraphAxis& y = chart_->YAxisAt(0);
    y.SetDataRange(0.0, ImpedanceAxisTop(trace.Average));
    y.Format = "%.2f";
    UpdateLabels();
    const Criterion& criterion = trace.Criteria;
    CXGraphAxis& x = chart_->XAxisAt(0);
    x.AddAxisBand(0, criterion.StartPosition, criterion.EndPosition, criterion.MaximumImpedance,
                  kLimitBandTop, kLimitBandColour, "", kHatchBackwardDiagonal);
    x.AddAxisBand(1, criterion.StartPosition, criterion.EndPosition, 0.0,
                  criterion.MinimumImpedance, kLimitBandColour, "", kHatchBackwardDiagonal);
    UpdateScriptPrompt();
    chart_->Invalidate();
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
    if (const auto text = ScriptPromptText(document_)) {
        prompt_->setText(ToQt(*text));
    }
}

void CGraphView::PlacePrompt() {
    if (prompt_) {
        prompt_->setGeometry(width() - 210, height() - 130, kPromptWidth, kPromptHeight);
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
    const bool savedLiveMode = station_.LiveMode;
    station_.LiveMode = false;
    SetChartColours(kWhite);
    chart_->PrintTo(printer);
    SetChartColours(kChartGrey);
    chart_->Invalidate();
    station_.LiveMode = savedLiveMode;
}

void CGraphView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        station_.RunTest(document_);
    } else if (event->button() == Qt::RightButton) {
        station_.RecordTest(document_);
    }
}

}  // namespace orvik
