#pragma once

#include <QMdiSubWindow>
#include <functional>
#include <memory>

#include "base/display_units.h"

class QSplitter;

namespace orvik {

class COrvikDoc;
class CBrowseView;
class RecoveryJournal;
class CGraphView;
class TestStation;

// One collection window: the test tree on the left and the trace graph on
// the right. The tree starts wide enough for a usual trace line with its
// verdict (at least 250 pixels), or as wide as the operator last dragged it.
// The window owns its collection.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    CChildFrame(std::unique_ptr<COrvikDoc> document, TestStation& station,
                QWidget* parent = nullptr);
    ~CChildFrame() override;

    COrvikDoc& Document() const { return *document_; }
    // Both panes in the usual colours or the high-contrast ones.
    void UseColourSet(bool highContrast);
    // Positions in the unit of this computer's Preferences.
    void UseDisplayUnits(const DisplayUnits& units);
    CBrowseView& Browse() const { return *browse_; }
    CGraphView& Graph() const { return *graph_; }
    QSplitter& Splitter() const { return *splitter_; }

    // The tree's width that shows "SD - Sample #: 100,  100.00   FAIL" whole.
    int DefaultTreeWidth() const;
    // Where the operator's last tree width is kept between runs.
    static constexpr const char* kTreeWidthSetting = "Window/treeWidth";

    // Shows the collection's title, with a mark while it has unsaved changes.
    void UpdateTitle();

    // The journal that keeps the collection's unsaved changes; none without
    // a recovery folder.
    void SetJournal(std::unique_ptr<RecoveryJournal> journal);
    RecoveryJournal* Journal() const { return journal_.get(); }
    // The operator chose not to save: once the window has closed, the
    // journal goes too. A close that does not happen keeps it.
    void DiscardJournalOnClose(bool discard) { discardJournal_ = discard; }

    // Asked before the window closes; false keeps it open.
    std::function<bool(CChildFrame&)> CanClose;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    std::unique_ptr<COrvikDoc> document_;
    // After the document, so that it stops listening before the document goes.
    std::unique_ptr<RecoveryJournal> journal_;
    bool discardJournal_ = false;
    bool treeSized_ = false;
    QSplitter* splitter_;
    CBrowseView* browse_;
    CGraphView* graph_;
};

}  // namespace orvik
