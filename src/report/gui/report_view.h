#pragma once

#include <QAbstractScrollArea>
#include <optional>

#include "collection/orvik_doc.h"
#include "criteria/report_preferences.h"
#include "report/report_builder.h"
#include "report/report_layout.h"

namespace orvik {

// The report of a collection drawn on screen: the tab rendering at its tab
// stops, scrolled in an area 8.5 inches wide. It keeps no data of its own
// beyond a cache of the layout, dropped whenever the collection changes.
class CReportView : public QAbstractScrollArea, public DocumentObserver {
    Q_OBJECT
  public:
    // `preferences` is the library's, read again at every drawing.
    CReportView(COrvikDoc& document, const ReportPreferences& preferences,
                QWidget* parent = nullptr);
    ~CReportView() override;

    void OnDocumentUpdate(COrvikDoc& document, DocumentObserver* sender,
                          const DocumentChange& change) override;
    // The collection is gone: the view shows nothing from now on.
    void DetachDocument();
    COrvikDoc* Document() const { return document_; }

    // The report as it stands now.
    ReportContent Content() const;
    // The screen layout drawn (built first when the cache is stale).
    const ReportLayout& ScreenLayout();
    // What the operator should know about the report, such as a grid that
    // could not hold every coupon; empty when nothing.
    QString StatusText();

  signals:
    void Changed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void UpdateScrollBars();

    COrvikDoc* document_;
    const ReportPreferences& preferences_;
    std::optional<ReportContent> content_;
    std::optional<ReportLayout> layout_;
    ReportPreferences preferencesUsed_;
    int width_ = 100;  // before the first drawing: 100 by 100 pixels
    int height_ = 100;
};

}  // namespace orvik
