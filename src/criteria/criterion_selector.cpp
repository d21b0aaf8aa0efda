#include "criteria/criterion_selector.h"

#include "criteria/criteria_library.h"

namespace orvik {

void CriteriaSelectorModel::FillInFileOrder(const CriteriaLibrary& library) {
    entries_.clear();
    for (auto it = library.Criteria.rbegin(); it != library.Criteria.rend(); ++it) {
        entries_.push_back({(*it)->Name, it->get()});
    }
    selected_ = -1;
    Notify();
}

void CriteriaSelectorModel::FillInListOrder(const CriteriaLibrary& library) {
    entries_.clear();
    for (const auto& criterion : library.Criteria) {
        entries_.push_back({criterion->Name, criterion.get()});
    }
    selected_ = -1;
    Notify();
}

void CriteriaSelectorModel::Clear() {
    entries_.clear();
    selected_ = -1;
    Notify();
}

void CriteriaSelectorModel::SelectIndex(int index) {
    selected_ = index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
    Notify();
}

const Criterion* CriteriaSelectorModel::SelectedCriterion() const {
    return selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)].Item : nullptr;
}

bool CriteriaSelectorModel::SelectCriterionById(std::int32_t id) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].Item != nullptr && entries_[i].Item->Id == id) {
            selected_ = static_cast<int>(i);
            Notify();
            return true;
        }
    }
    return false;
}

void CriteriaSelectorModel::Forget(const Criterion& criterion) {
    bool changed = false;
    for (std::size_t i = entries_.size(); i-- > 0;) {
        if (entries_[i].Item != &criterion) {
            continue;
        }
        const int index = static_cast<int>(i);
        entries_.erase(entries_.begin() + index);
        if (selected_ == index) {
            selected_ = -1;
        } else if (selected_ > index) {
            --selected_;
        }
        changed = true;
    }
    if (changed) {
        Notify();
    }
}

void CriteriaSelectorModel::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Notify();
}

void CriteriaSelectorModel::Notify() {
    if (Changed) {
        Changed();
    }
}

}  // namespace orvik
