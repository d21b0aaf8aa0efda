#pragma once

#include <QDialog>
#include <array>

#include "criteria/script_editor.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace orvik {

class OperatorPrompts;

// "Define and Run Scripts": the library's scripts, edited in place as the
// operator types. Run closes it with the selected script chosen to run;
// Close (or Escape) chooses none. Saving the library is the caller's.
class ScriptsDialog : public QDialog {
    Q_OBJECT
  public:
    ScriptsDialog(CriteriaLibrary& library, OperatorPrompts& prompts, QWidget* parent = nullptr);

    // Whether a collection runs the script now; see ScriptEditorModel.
    void SetRunningCheck(std::function<bool(const Script&)> isRunning);

    // The script the Run button chose; none after Close or a Run without a
    // selected script.
    Script* ChosenScript() const { return chosen_; }

    QListWidget* ScriptList() const { return scripts_; }
    QListWidget* ElementList() const { return elements_; }
    QLineEdit* Field(ScriptField field) const { return fields_[static_cast<std::size_t>(field)]; }
    QComboBox* CriteriaBox() const { return criteria_; }
    QRadioButton* PromptButton() const { return prompt_; }
    QRadioButton* AutoNumberButton() const { return autoNumber_; }
    QPushButton* Button(const char* text) const;
    QGroupBox* Group(const char* title) const;

  private:
    QGroupBox* BuildScriptList();
    QGroupBox* BuildInformation();
    QGroupBox* BuildElements();
    QGroupBox* BuildNaming();
    QPushButton* AddButton(const char* text, void (ScriptsDialog::*command)());
    QLineEdit* AddField(ScriptField field);

    void Create();
    void Delete();
    void Add();
    void Remove();
    void Run();
    void Tell(const Status& status);

    // Brings every control in line with the model, without echoing the
    // changes back to it.
    void Show();
    void ShowLists();

    ScriptEditorModel model_;
    OperatorPrompts& prompts_;
    Script* chosen_ = nullptr;
    QListWidget* scripts_ = nullptr;
    QListWidget* elements_ = nullptr;
    std::array<QLineEdit*, kScriptFieldCount> fields_{};
    QComboBox* criteria_ = nullptr;
    QRadioButton* prompt_ = nullptr;
    QRadioButton* autoNumber_ = nullptr;
    QButtonGroup* naming_ = nullptr;
};

}  // namespace orvik
