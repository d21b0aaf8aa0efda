#include "criteria/criteria_manager.h"

#include <algorithm>
#include <cctype>

#include "base/operator_prompts.h"
#include "criteria/criterion_selector.h"

namespace orvik {

bool NameSortsBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

CriteriaManagerModel::CriteriaManagerModel(CriteriaLibrary& library) : library_(library) {
    for (const auto& criterion : library_.Criteria) {
        Insert({criterion->Name, criterion.get()});
    }
}

int CriteriaManagerModel::Insert(Entry entry) {
    auto at = std::upper_bound(entries_.begin(), entries_.end(), entry.Name,
                               [](const std::string& name, const Entry& other) {
                                   return NameSortsBefore(name, other.Name);
                               });
    int index = static_cast<int>(at - entries_.begin());
    entries_.insert(at, std::move(entry));
    if (selected_ >= index) {
        ++selected_;
    }
    return index;
}

void CriteriaManagerModel::SelectIndex(int index) {
    selected_ = index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
}

Criterion* CriteriaManagerModel::SelectedCriterion() const {
    return selected_ >= 0 ? entries_[selected_].Item : nullptr;
}

int CriteriaManagerModel::AddCreated(const Criterion& edited) {
    Criterion& added = library_.AddCriterion(edited);
    return Insert({added.Name, &added});
}

bool CriteriaManagerModel::ApplyEdit(const Criterion& edited) {
    Criterion* target = SelectedCriterion();
    if (target == nullptr) {
        return false;
    }
    std::int32_t id = target->Id;
    *target = edited;
    target->Id = id;
    entries_[selected_].Name = target->Name;
    return true;
}

bool CriteriaManagerModel::DeleteSelected() {
    Criterion* target = SelectedCriterion();
    if (target == nullptr) {
        return false;
    }
    entries_.erase(entries_.begin() + selected_);
    selected_ = -1;
    library_.RemoveCriterion(target);
    return true;
}

std::optional<std::int32_t> CriteriaManagerModel::CloseId() const {
    if (const Criterion* selected = SelectedCriterion()) {
        return selected->Id;
    }
    if (!library_.Criteria.empty()) {
        return library_.Criteria.front()->Id;
    }
    return std::nullopt;
}

Status SaveLibrary(CriteriaLibrary& library, OperatorPrompts& prompts, const std::string& path) {
    if (library.OverwriteProtected()) {
        bool replace = prompts.AskYesNo(path +
                                            " could not be read when the program started.\n"
                                            "Replace it with the criteria and scripts now in use?",
                                        "Save Criteria");
        if (replace) {
            library.AllowOverwrite();
        }
    }
    Status saved = library.Save(path);
    if (!saved) {
        std::string text = saved.Error().Message;
        if (!saved.Error().Detail.empty()) {
            text += "\n" + saved.Error().Detail;
        }
        prompts.Message(text, "", PromptIcon::Error);
    }
    return saved;
}

Status AfterCriteriaManagerClosed(CriteriaLibrary& library, CriteriaSelectorModel& selector,
                                  std::optional<std::int32_t> id,
                                  const std::function<void()>& selectionChanged,
                                  OperatorPrompts& prompts, const std::string& path) {
    selector.FillInListOrder(library);
    if (!id || !selector.SelectCriterionById(*id)) {
        selector.SelectIndex(selector.Entries().empty() ? -1 : 0);
    }
    if (selectionChanged) {
        selectionChanged();
    }
    return SaveLibrary(library, prompts, path);
}

}  // namespace orvik
