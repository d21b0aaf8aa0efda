#pragma once

#include <QListWidget>

namespace orvik {

// The row the operator selected in a single-selection list, or -1. Not the
// current row: a list that gets the focus makes its first row current without
// selecting it, and a command must never act on an entry nobody picked.
inline int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

}  // namespace orvik
