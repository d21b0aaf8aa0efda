#pragma once

#include <QHash>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/gui/reference_dialog.h"
#include "collection/orvik_doc.h"
#include "collection/test_tree.h"

class QMenu;
class QTreeWidgetItem;

namespace orvik {

class TestStation;
class VividTree;

// The left pane of a collection window: the collection as a tree of scripts,
// coupons and traces with coloured verdicts. Selecting a trace shows it,
// Delete removes a subtree, a right click on a script resumes it.
class CBrowseView : public QWidget, public DocumentObserver {
    Q_OBJECT
  public:
    CBrowseView(COrvikDoc& document, TestStation& station, QWidget* parent = nullptr);
    ~CBrowseView() override;

    // First display: the whole tree from the collection.
    void InitialUpdate();
    void OnDocumentUpdate(COrvikDoc& document, DocumentObserver* sender,
                          const DocumentChange& change) override;

    // The usual colours or the high-contrast ones.
    void UseColourSet(bool highContrast);

    VividTree* Tree() const { return tree_; }
    const TestTree& Model() const { return model_; }

    // The commands behind the keys and the mouse, for tests and menus.
    void DeleteSelected();
    // The trace selected in the tree, or none.
    const TraceRecord* SelectedTrace() const;
    void ResumeSelectedScript();

    // The selected trace becomes the reference of its criterion, with the
    // tolerance the operator gives; the criterion's reference goes.
    void MarkSelectedAsReference();
    void ClearSelectedReference();
    // Asks for the tolerance (the dialog in the program, an answer in tests).
    std::function<std::optional<ReferenceTolerance>(const TraceRecord& trace,
                                                    const ReferenceTolerance& proposed)>
        AskTolerance;

    // A node's menu (Resume script, Export trace CSV, Use as Reference,
    // Clear Reference, Delete), opened by a
    // right click on the node or the menu key. The program runs it at the
    // pointer; a test chooses from it directly.
    std::function<void(QMenu& menu, const QPoint& at)> ShowContextMenu;

    // Called with the traces selected (Ctrl and Shift select several), in
    // the order they were selected, the current one last; empty when the
    // selection is cleared.
    std::function<void(const std::vector<const TraceRecord*>& traces)> SelectedTracesChanged;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The tree passes right presses on to its parent, this view.
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void OpenContextMenu(const QPoint& at);
    void AddNodes(TestTreeNode* node, QTreeWidgetItem* parentItem);
    QTreeWidgetItem* MakeItem(TestTreeNode* node, QTreeWidgetItem* parentItem);
    void OnSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void OnItemSelectionChanged();
    TestTreeNode* NodeOf(QTreeWidgetItem* item) const;
    void ClearSelection();
    // Adds the nodes of a record just filed (with its script and coupon).
    void ShowRecorded(TraceRecord& record);

    COrvikDoc& document_;
    TestStation& station_;
    TestTree model_;
    VividTree* tree_;
    QHash<QTreeWidgetItem*, TestTreeNode*> nodes_;
    QHash<const TestTreeNode*, QTreeWidgetItem*> items_;
    bool ignoreSelection_ = false;
    // The selected items in the order they were selected.
    std::vector<QTreeWidgetItem*> selectionOrder_;
};

}  // namespace orvik
