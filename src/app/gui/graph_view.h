#pragma once

#include <QWidget>
#include <array>

#include "collection/graph_summary.h"
#include "collection/orvik_doc.h"

class QLabel;
class QPrinter;

namespace orvik {

class CXGraphLabel;
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
    // The unit of the positions in the summary.
    void UseSummaryUnit(LengthUnit unit);

    XGraphWidget& Chart() const { return *chart_; }
    QLabel* ScriptPrompt() const { return prompt_; }
    const CXGraphLabel& SummaryLabel(GraphSummary::Label which) const { return *labels_[which]; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowCurrentTrace();
    void UpdateScriptPrompt();
    void PlacePrompt();
    void SetChartColours(std::uint32_t colour);

    COrvikDoc& document_;
    TestStation& station_;
    XGraphWidget* chart_;
    std::array<CXGraphLabel*, GraphSummary::Count> labels_{};
    QLabel* prompt_ = nullptr;
    bool highContrast_ = false;
    LengthUnit summaryUnit_ = LengthUnit::Inches;
    const TraceSample noSamples_{0.0, 0.0};
};

}  // namespace orvik
