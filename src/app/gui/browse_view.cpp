#include "app/gui/browse_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/test_station.h"
#include "base/gui/prompt_dialogs.h"
#include "base/operator_prompts.h"
#include "chart/coloured_text.h"
#include "chart/gui/vivid_tree_widget.h"
#include "report/gui/csv_export_command.h"
#include "script/script.h"

namespace orvik {

CBrowseView::CBrowseView(COrvikDoc& document, TestStation& station, QWidget* parent)
    : QWidget(parent), document_(document), station_(station), model_(document) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    tree_ = new VividTree(this);
    tree_->setObjectName("testTree");
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    // Ctrl and Shift select several traces, which the graph draws together.
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setContextMenuPolicy(Qt::NoContextMenu);
    tree_->SetBackgroundMode(VividTree::kPlainBackground);
    UseColourSet(false);
    tree_->SetLeafIcon(VividTree::TraceLeafIcon());
    tree_->installEventFilter(this);
    ShowContextMenu = [](QMenu& menu, const QPoint& at) { menu.exec(at); };
    AskTolerance = [this](const TraceRecord& trace, const ReferenceTolerance& proposed) {
        return AskReferenceTolerance(ToQt(trace.Name), ToQt(trace.Criteria.Name), proposed, this);
    };
    layout->addWidget(tree_);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &CBrowseView::OnSelectionChanged);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &CBrowseView::OnItemSelectionChanged);
    document_.AddObserver(this);
}

void CBrowseView::UseColourSet(bool highContrast) {
    const TreeColours& colours = highContrast ? kHighContrastTreeColours : kUsualTreeColours;
    tree_->SetTreeBackgroundColour(colours.Background);
    tree_->SetSelectionColour(colours.Selection);
    tree_->SetSelectedTextColour(colours.SelectedText);
    tree_->SetHighContrast(colours.HighContrast);
}

CBrowseView::~CBrowseView() {
    document_.RemoveObserver(this);
}

QTreeWidgetItem* CBrowseView::MakeItem(TestTreeNode* node, QTreeWidgetItem* parentItem) {
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tree_);
    item->setText(0, VividTree::ToItemText(node->Text));
    nodes_.insert(item, node);
    items_.insert(node, item);
    return item;
}

void CBrowseView::AddNodes(TestTreeNode* node, QTreeWidgetItem* parentItem) {
    QTreeWidgetItem* item = MakeItem(node, parentItem);
    for (const auto& child : node->Children) {
        AddNodes(child.get(), item);
    }
    item->setExpanded(node->Expanded);
}

void CBrowseView::InitialUpdate() {
    ignoreSelection_ = true;
    tree_->clear();
    nodes_.clear();
    items_.clear();
    model_.Rebuild();
    for (const auto& root : model_.Roots()) {
        AddNodes(root.get(), nullptr);
    }
    ignoreSelection_ = false;
}

TestTreeNode* CBrowseView::NodeOf(QTreeWidgetItem* item) const {
    return item ? nodes_.value(item, nullptr) : nullptr;
}

void CBrowseView::ClearSelection() {
    ignoreSelection_ = true;
    tree_->setCurrentItem(nullptr);
    tree_->clearSelection();
    ignoreSelection_ = false;
}

void CBrowseView::OnDocumentUpdate(COrvikDoc&, DocumentObserver* sender,
                                   const DocumentChange& change) {
    if (sender == this) {
        return;
    }
    if (change.What == DocumentChange::Kind::Reloaded) {
        InitialUpdate();
        return;
    }
    if (change.What == DocumentChange::Kind::TraceRecorded && change.Recorded != nullptr) {
        ShowRecorded(*change.Recorded);
    }
    ClearSelection();
}

void CBrowseView::ShowRecorded(TraceRecord& record) {
    const TreeInsertion inserted = model_.InsertRecord(record);
    if (inserted.TraceNode) {
        QTreeWidgetItem* parent = nullptr;
        if (inserted.TraceNode->Parent) {
            parent = items_.value(inserted.TraceNode->Parent, nullptr);
            if (parent == nullptr) {
                // A new script or coupon node comes with the trace.
                TestTreeNode* top = inserted.ScriptNode ? inserted.ScriptNode : inserted.CouponNode;
                AddNodes(top, items_.value(top->Parent, nullptr));
                parent = items_.value(inserted.TraceNode->Parent, nullptr);
            }
        }
        if (!items_.contains(inserted.TraceNode)) {
            MakeItem(inserted.TraceNode, parent);
        }
        for (QTreeWidgetItem* up = parent; up; up = up->parent()) {
            up->setExpanded(true);
        }
    }
}

void CBrowseView::OnSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (ignoreSelection_ || current == nullptr) {
        return;
    }
    TestTreeNode* node = NodeOf(current);
    station_.TreeSelectionChanged(document_, node ? node->Item : nullptr, previous != nullptr,
                                  this);
}

void CBrowseView::OnItemSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    std::vector<QTreeWidgetItem*> order;
    // Items that stay selected keep their places (an item gone from the
    // tree is only compared, never followed); new ones follow.
    for (QTreeWidgetItem* item : selectionOrder_) {
        if (selected.contains(item)) {
            order.push_back(item);
        }
    }
    for (QTreeWidgetItem* item : selected) {
        if (std::find(order.begin(), order.end(), item) == order.end()) {
            order.push_back(item);
        }
    }
    QTreeWidgetItem* current = tree_->currentItem();
    const auto at = std::find(order.begin(), order.end(), current);
    if (at != order.end()) {
        std::rotate(at, at + 1, order.end());
    }
    selectionOrder_ = order;
    std::vector<const TraceRecord*> traces;
    QTreeWidgetItem* lastTrace = nullptr;
    for (QTreeWidgetItem* item : order) {
        const TestTreeNode* node = NodeOf(item);
        if (const auto* trace = node ? dynamic_cast<const TraceRecord*>(node->Item) : nullptr) {
            traces.push_back(trace);
            lastTrace = item;
        }
    }
    // Ctrl-clicking the current trace away leaves the last one selected as
    // the trace the graph describes.
    if (!ignoreSelection_ && lastTrace != nullptr && !selected.contains(current)) {
        tree_->setCurrentItem(lastTrace, 0, QItemSelectionModel::NoUpdate);
    }
    if (SelectedTracesChanged) {
        SelectedTracesChanged(traces);
    }
}

const TraceRecord* CBrowseView::SelectedTrace() const {
    const TestTreeNode* node = NodeOf(tree_->currentItem());
    return node ? dynamic_cast<const TraceRecord*>(node->Item) : nullptr;
}

void CBrowseView::DeleteSelected() {
    QTreeWidgetItem* item = tree_->currentItem();
    TestTreeNode* node = NodeOf(item);
    if (node == nullptr) {
        return;
    }
    if (!station_.Prompts().AskYesNo(TestTree::DeleteQuestion(*node), "Delete tree item(s)")) {
        return;
    }
    std::vector<QTreeWidgetItem*> doomed{item};
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        for (int c = 0; c < doomed[i]->childCount(); ++c) {
            doomed.push_back(doomed[i]->child(c));
        }
    }
    for (QTreeWidgetItem* gone : doomed) {
        items_.remove(nodes_.value(gone));
        nodes_.remove(gone);
    }
    ignoreSelection_ = true;
    delete item;
    ignoreSelection_ = false;
    // Qt makes a neighbour current; nothing stays selected after a delete, as
    // after any refresh, so that the next click shows what it selects.
    ClearSelection();
    station_.DeleteTreeNode(document_, model_, node);
}

void CBrowseView::ResumeSelectedScript() {
    Script* script = model_.ScriptToResume(NodeOf(tree_->currentItem()));
    if (script != nullptr) {
        station_.Scripts().Resume(document_, *script);
    }
}

bool CBrowseView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            DeleteSelected();
            return true;
        }
        const bool menuKey = key->key() == Qt::Key_Menu ||
                             (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
        if (menuKey && tree_->currentItem() != nullptr) {
            const QRect row = tree_->visualItemRect(tree_->currentItem());
            OpenContextMenu(tree_->viewport()->mapToGlobal(row.bottomLeft()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBrowseView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        return;
    }
    const QPoint inTree = tree_->viewport()->mapFrom(this, event->position().toPoint());
    QTreeWidgetItem* item = tree_->itemAt(inTree);
    if (item == nullptr ||
        (item == tree_->currentItem() && model_.ScriptToResume(NodeOf(item)) != nullptr)) {
        // On the selected script, or beside the nodes: the selected script
        // resumes at once, as it always has.
        ResumeSelectedScript();
        return;
    }
    // The node under the pointer is the one the menu acts on, selected or not.
    if (tree_->currentItem() != item) {
        tree_->setCurrentItem(item);
    }
    OpenContextMenu(event->globalPosition().toPoint());
}

void CBrowseView::OpenContextMenu(const QPoint& at) {
    TestTreeNode* node = NodeOf(tree_->currentItem());
    if (node == nullptr) {
        return;
    }
    QMenu menu(this);
    QAction* resume = menu.addAction("&Resume script", this, &CBrowseView::ResumeSelectedScript);
    resume->setEnabled(model_.ScriptToResume(node) != nullptr);
    if (resume->isEnabled()) {
        menu.setDefaultAction(resume);
    }
    QAction* exportCsv = menu.addAction("&Export trace CSV...", this, [this] {
        if (const TraceRecord* trace = SelectedTrace()) {
            ExportTraceCsv(this, *trace, document_.Path());
        }
    });
    exportCsv->setEnabled(SelectedTrace() != nullptr);
    menu.addSeparator();
    const TraceRecord* trace = SelectedTrace();
    menu.addAction("Use as Re&ference...", this, &CBrowseView::MarkSelectedAsReference)
        ->setEnabled(trace != nullptr);
    menu.addAction("C&lear Reference", this, &CBrowseView::ClearSelectedReference)
        ->setEnabled(trace != nullptr &&
                     station_.References().References().Find(trace->Criteria.Id) != nullptr);
    menu.addSeparator();
    QAction* remove = menu.addAction("&Delete", this, &CBrowseView::DeleteSelected);
    remove->setShortcut(QKeySequence::Delete);
    ShowContextMenu(menu, at);
}

void CBrowseView::MarkSelectedAsReference() {
    const TraceRecord* trace = SelectedTrace();
    if (trace == nullptr) {
        return;
    }
    ReferenceTolerance proposed;
    if (const CriterionReference* now =
            station_.References().References().Find(trace->Criteria.Id)) {
        proposed = {now->Unit, now->Tolerance};
    }
    const std::optional<ReferenceTolerance> tolerance = AskTolerance(*trace, proposed);
    if (!tolerance) {
        return;
    }
    const Status marked = station_.MarkAsReference(*trace, tolerance->Unit, tolerance->Value);
    if (!marked) {
        station_.Prompts().Message(marked.Error().Message, kReferenceCaption, PromptIcon::Warning);
    }
}

void CBrowseView::ClearSelectedReference() {
    const TraceRecord* trace = SelectedTrace();
    if (trace == nullptr ||
        station_.References().References().Find(trace->Criteria.Id) == nullptr) {
        return;
    }
    if (!station_.Prompts().AskYesNo("Clear the reference curve of the criterion \"" +
                                         trace->Criteria.Name +
                                         "\"?\nIts measurements are then judged by its limits "
                                         "alone.",
                                     kReferenceCaption)) {
        return;
    }
    const Status cleared = station_.ClearReference(trace->Criteria.Id);
    if (!cleared) {
        station_.Prompts().Message(cleared.Error().Message, kReferenceCaption, PromptIcon::Warning);
    }
}

}  // namespace orvik
