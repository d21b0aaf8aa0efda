#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "criteria/criteria_library.h"

namespace orvik {

inline constexpr const char* kScriptsDialogTitle = "Define and Run Scripts";

// The text fields of the Define and Run Scripts dialog.
enum class ScriptField { Description, Customer, JobNumber, Operator, StationId, Prefix, Postfix };
inline constexpr std::size_t kScriptFieldCount = 7;

// The Define and Run Scripts dialog without its window: the library's scripts
// edited in place as the operator types, so that whatever the dialog shows is
// already in the library, however the dialog is left. It keeps what each
// field shows, because a field may hold text that reaches no script (typed
// with nothing selected, or a postfix typed before the test has a criterion).
class ScriptEditorModel {
  public:
    struct CriterionChoice {
        std::string Name;
        const Criterion* Item;
    };

    // Scripts in library order; the criteria choices sorted by name. Nothing
    // is selected and every field is empty.
    explicit ScriptEditorModel(CriteriaLibrary& library);

    // Whether a collection is running the script now. Such a script can be
    // neither deleted nor have its tests removed: the run holds them.
    std::function<bool(const Script&)> IsRunning;

    // The script list: one description per library script, in library order.
    std::vector<std::string> ScriptEntries() const;
    int SelectedScriptIndex() const { return selectedScript_; }
    Script* SelectedScript() const;
    void SelectScript(int index);

    // The selected script's tests, labelled against the library's criteria.
    std::vector<std::string> ElementEntries() const;
    int SelectedElementIndex() const { return selectedElement_; }
    ScriptElement* SelectedElement() const;
    void SelectElement(int index);

    const std::vector<CriterionChoice>& CriterionChoices() const { return choices_; }
    int SelectedChoice() const { return selectedChoice_; }
    // Gives the selected test the chosen criterion; with no test selected the
    // choice does not stay.
    void ChooseCriterion(int index);

    const std::string& Text(ScriptField field) const;
    // The operator changed a field: the selected script (or test) follows it
    // where the dialog lets it.
    void Type(ScriptField field, std::string text);

    // The two "Sample Naming" buttons: none checked, or whether the selected
    // script prompts for serials.
    std::optional<bool> PromptChoice() const { return prompt_; }
    void ChoosePrompt(bool prompt);

    // The buttons. Create and Add select what they made; Delete and Remove
    // leave nothing of their kind selected. A script that a collection runs is
    // neither deleted nor shortened: the failure says so for the operator.
    void Create();
    Status Delete();
    void Add();
    Status Remove();

  private:
    void ShowScript();
    void ShowElement();
    bool ElementHasCriterion() const;
    Status RefuseWhileRunning(const Script& script, const char* what) const;

    CriteriaLibrary& library_;
    std::vector<CriterionChoice> choices_;
    std::array<std::string, kScriptFieldCount> texts_;
    std::optional<bool> prompt_;
    int selectedScript_ = -1;
    int selectedElement_ = -1;
    int selectedChoice_ = -1;
};

}  // namespace orvik
