#include "criteria/script_editor.h"

#include <algorithm>
#include <iterator>

#include "criteria/criteria_manager.h"

namespace orvik {

namespace {

std::size_t Slot(ScriptField field) {
    return static_cast<std::size_t>(field);
}

template <class List>
auto* At(List& list, int index) {
    using Item = std::remove_reference_t<decltype(*list.begin())>;
    if (index < 0 || index >= static_cast<int>(list.size())) {
        return static_cast<Item*>(nullptr);
    }
    return &*std::next(list.begin(), index);
}

}  // namespace

ScriptEditorModel::ScriptEditorModel(CriteriaLibrary& library) : library_(library) {
    for (const auto& criterion : library_.Criteria) {
        choices_.push_back({criterion->Name, criterion.get()});
    }
    std::stable_sort(choices_.begin(), choices_.end(),
                     [](const CriterionChoice& a, const CriterionChoice& b) {
                         return NameSortsBefore(a.Name, b.Name);
                     });
}

std::vector<std::string> ScriptEditorModel::ScriptEntries() const {
    std::vector<std::string> entries;
    for (const auto& script : library_.Scripts) {
        entries.push_back(script->Description);
    }
    return entries;
}

Script* ScriptEditorModel::SelectedScript() const {
    auto* slot = At(library_.Scripts, selectedScript_);
    return slot != nullptr ? slot->get() : nullptr;
}

void ScriptEditorModel::SelectScript(int index) {
    selectedScript_ = At(library_.Scripts, index) != nullptr ? index : -1;
    ShowScript();
}

// What the fields show for the selected script. Without one the report
// fields keep whatever they hold, so that the next script can be given the
// same customer and operator by selecting it and typing nothing.
void ScriptEditorModel::ShowScript() {
    const Script* script = SelectedScript();
    if (script == nullptr) {
        texts_[Slot(ScriptField::Description)].clear();
        texts_[Slot(ScriptField::Prefix)].clear();
        prompt_.reset();
    } else {
        texts_[Slot(ScriptField::Description)] = script->Description;
        texts_[Slot(ScriptField::Customer)] = script->Customer;
        texts_[Slot(ScriptField::JobNumber)] = script->JobNumber;
        texts_[Slot(ScriptField::Operator)] = script->Operator;
        texts_[Slot(ScriptField::StationId)] = script->StationId;
        texts_[Slot(ScriptField::Prefix)] = script->Prefix;
        prompt_ = script->PromptForSerial == 1;
    }
    texts_[Slot(ScriptField::Postfix)].clear();
    selectedChoice_ = -1;
    selectedElement_ = -1;
}

std::vector<std::string> ScriptEditorModel::ElementEntries() const {
    std::vector<std::string> entries;
    if (const Script* script = SelectedScript()) {
        for (const ScriptElement& element : script->Elements) {
            entries.push_back(element.Label(library_.Criteria));
        }
    }
    return entries;
}

ScriptElement* ScriptEditorModel::SelectedElement() const {
    Script* script = SelectedScript();
    return script != nullptr ? At(script->Elements, selectedElement_) : nullptr;
}

void ScriptEditorModel::SelectElement(int index) {
    Script* script = SelectedScript();
    selectedElement_ = script != nullptr && At(script->Elements, index) != nullptr ? index : -1;
    ShowElement();
}

void ScriptEditorModel::ShowElement() {
    const ScriptElement* element = SelectedElement();
    selectedChoice_ = -1;
    if (element == nullptr) {
        texts_[Slot(ScriptField::Postfix)].clear();
        return;
    }
    for (std::size_t i = 0; i < choices_.size(); ++i) {
        if (choices_[i].Item->Id == element->CriterionId) {
            selectedChoice_ = static_cast<int>(i);
            break;
        }
    }
    texts_[Slot(ScriptField::Postfix)] = element->Postfix;
}

void ScriptEditorModel::ChooseCriterion(int index) {
    ScriptElement* element = SelectedElement();
    if (element == nullptr || index < 0 || index >= static_cast<int>(choices_.size())) {
        selectedChoice_ = -1;
        return;
    }
    element->CriterionId = choices_[index].Item->Id;
    selectedChoice_ = index;
}

bool ScriptEditorModel::ElementHasCriterion() const {
    const ScriptElement* element = SelectedElement();
    return element != nullptr && library_.FindById(element->CriterionId) != nullptr;
}

const std::string& ScriptEditorModel::Text(ScriptField field) const {
    return texts_[Slot(field)];
}

void ScriptEditorModel::Type(ScriptField field, std::string text) {
    texts_[Slot(field)] = text;
    if (field == ScriptField::Postfix) {
        // A test names its traces only once it has a criterion to be judged by.
        if (ElementHasCriterion()) {
            SelectedElement()->Postfix = std::move(text);
        }
        return;
    }
    Script* script = SelectedScript();
    if (script == nullptr) {
        return;
    }
    switch (field) {
        case ScriptField::Description:
            script->Description = std::move(text);
            break;
        case ScriptField::Customer:
            script->Customer = std::move(text);
            break;
        case ScriptField::JobNumber:
            script->JobNumber = std::move(text);
            break;
        case ScriptField::Operator:
            script->Operator = std::move(text);
            break;
        case ScriptField::StationId:
            script->StationId = std::move(text);
            break;
        case ScriptField::Prefix:
            script->Prefix = std::move(text);
            break;
        case ScriptField::Postfix:
            break;
    }
}

void ScriptEditorModel::ChoosePrompt(bool prompt) {
    Script* script = SelectedScript();
    if (script == nullptr) {
        prompt_.reset();
        return;
    }
    script->PromptForSerial = prompt ? 1 : 0;
    prompt_ = prompt;
}

void ScriptEditorModel::Create() {
    library_.AddScript();
    selectedScript_ = static_cast<int>(library_.Scripts.size()) - 1;
    ShowScript();
}

Status ScriptEditorModel::RefuseWhileRunning(const Script& script, const char* what) const {
    if (IsRunning && IsRunning(script)) {
        return Failure{"The script \"" + script.Description +
                           "\" is running in a collection.\nStop the run before " + what + ".",
                       "refused while the script runs"};
    }
    return {};
}

Status ScriptEditorModel::Delete() {
    Script* script = SelectedScript();
    if (script == nullptr) {
        return {};
    }
    if (Status refused = RefuseWhileRunning(*script, "deleting it"); !refused) {
        return refused;
    }
    library_.RemoveScript(script);
    selectedScript_ = -1;
    ShowScript();
    return {};
}

void ScriptEditorModel::Add() {
    Script* script = SelectedScript();
    if (script == nullptr) {
        return;
    }
    script->AddElement();
    selectedElement_ = static_cast<int>(script->Elements.size()) - 1;
    ShowElement();
}

Status ScriptEditorModel::Remove() {
    Script* script = SelectedScript();
    const ScriptElement* element = SelectedElement();
    if (element == nullptr) {
        return {};
    }
    if (Status refused = RefuseWhileRunning(*script, "removing its tests"); !refused) {
        return refused;
    }
    script->RemoveElement(element);
    selectedElement_ = -1;
    ShowElement();
    return {};
}

}  // namespace orvik
