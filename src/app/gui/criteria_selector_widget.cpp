#include "app/gui/criteria_selector_widget.h"

#include "base/gui/prompt_dialogs.h"
#include "criteria/criterion_selector.h"

namespace orvik {

CriteriaSelectorWidget::CriteriaSelectorWidget(CriteriaSelectorModel& model, QWidget* parent)
    : QComboBox(parent), model_(model) {
    setObjectName("criteriaSelector");
    setEditable(false);
    setFixedWidth(200);
    setMaxVisibleItems(30);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip("Criterion for every test");
    model_.Changed = [this] { Refresh(); };
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (refreshing_) {
            return;
        }
        model_.SelectIndex(index);
        emit Chosen();
    });
    Refresh();
}

void CriteriaSelectorWidget::Refresh() {
    refreshing_ = true;
    const auto& entries = model_.Entries();
    bool same = count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < count(); ++i) {
        same = itemText(i) == ToQt(entries[static_cast<std::size_t>(i)].Name);
    }
    if (!same) {
        clear();
        for (const auto& entry : entries) {
            addItem(ToQt(entry.Name));
        }
    }
    setCurrentIndex(model_.SelectedIndex());
    setEnabled(model_.Enabled());
    refreshing_ = false;
}

}  // namespace orvik
