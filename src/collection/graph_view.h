#pragma once

#include <QWidget>

#include "collection/orvik_doc.h"

namespace orvik {

class TestStation;

// The right pane of a collection window: the current trace against position,
// the criterion's limit bands and the summary labels. A left click runs a
// test, a right click records it.
class CGraphView : public QWidget, public DocumentObserver {
    Q_OBJECT
  public:
    CGraphView(COrvikDoc& document, TestStation& station, QWidget* parent = nullptr);
    ~CGraphView() override;

    void InitialUpdate();
    void OnDocumentUpdate(COrvikDoc& document, DocumentObserver* sender) override;
    void Print();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    COrvikDoc& document_;
    TestStation& station_;
    bool showLabels_ = false;
};

}  // namespace orvik
