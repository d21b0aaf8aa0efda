#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "base/display_units.h"

#include "collection/graph_summary.h"
#include "collection/orvik_doc.h"

class QLabel;
class QPrinter;

namespace orvik {

class CXGraphLabel;
class GraphGestures;
class TestStation;
class XGraphWidget;

// The right pane of a collection window: the current trace against position,
// the criterion's limit bands, the summary labels and, while a script runs,
// a box naming the next coupon and test. A left click runs a test, a right
// click records it.
class CGraphView : public QWidget, public DocumentObserver {
    Q_OBJECT
  public:
    CGraphView(COrvikDoc& document, TestStation& station, QWidget* parent = nullptr);
    ~CGraphView() override;

    // First display: a blank trace on a 0-100 ohm axis, labels empty.
    void InitialUpdate();
    void OnDocumentUpdate(COrvikDoc& document, DocumentObserver* sender,
                          const DocumentChange& change) override;

    // Prints the chart on white through the print dialog; false when cancelled.
    bool Print();
    // Prints one page on an already set-up printer.
    void PrintOn(QPrinter& printer);

    // The usual grey graph or the high-contrast colours on white.
    void UseColourSet(bool highContrast);

    // Positions on the axis, in the summary and under the cursor in inches or
    // millimetres, and the delay under the cursor when a propagation velocity
    // is set.
    void SetDisplayUnits(const DisplayUnits& units);
    // The traces selected in the tree, in the order of selection; the last
    // one is the current trace, whose summary the graph shows. With more
    // than one they are drawn together, up to 16, with a legend.
    void ShowSelectedTraces(const std::vector<const TraceRecord*>& selection);

    GraphGestures& Gestures() const { return *gestures_; }
    // What the graph says when it leaves selected traces out.
    const CXGraphLabel* OverlayNoticeLabel() const { return notice_; }

    XGraphWidget& Chart() const { return *chart_; }
    QLabel* ScriptPrompt() const { return prompt_; }
    const CXGraphLabel& SummaryLabel(GraphSummary::Label which) const { return *labels_[which]; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowCurrentTrace();
    void UpdateScriptPrompt();
    void PlacePrompt();
    void SetChartColours(std::uint32_t colour);
    void ShowOverlaidTraces();

    // A trace drawn beside the current one, copied so that it stays whatever
    // happens to the collection.
    struct OverlayTrace {
        std::string Name;
        double Average = 0.0;
        std::vector<TraceSample> Samples;
    };

    COrvikDoc& document_;
    TestStation& station_;
    XGraphWidget* chart_;
    std::array<CXGraphLabel*, GraphSummary::Count> labels_{};
    QLabel* prompt_ = nullptr;
    bool highContrast_ = false;
    std::unique_ptr<GraphGestures> gestures_;
    std::vector<OverlayTrace> overlay_;  // the current trace last
    std::size_t selected_ = 0;
    CXGraphLabel* notice_ = nullptr;
    const TraceSample noSamples_{0.0, 0.0};
};

}  // namespace orvik
