#include "criteria/gui/scripts_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "base/gui/latin1_field.h"
#include "base/gui/prompt_dialogs.h"
#include "base/operator_prompts.h"
#include "criteria/gui/selected_row.h"

namespace orvik {
namespace {

// Makes `list` show `texts` with `current` selected, replacing entries in
// place where their number did not change.
void ShowEntries(QListWidget* list, const std::vector<std::string>& texts, int current) {
    if (list->count() != static_cast<int>(texts.size())) {
        list->clear();
        for (const std::string& text : texts) {
            list->addItem(ToQt(text));
        }
    } else {
        for (int row = 0; row < list->count(); ++row) {
            const QString text = ToQt(texts[static_cast<std::size_t>(row)]);
            if (list->item(row)->text() != text) {
                list->item(row)->setText(text);
            }
        }
    }
    list->setCurrentRow(current);
    if (current < 0) {
        list->clearSelection();
    }
}

}  // namespace

ScriptsDialog::ScriptsDialog(CriteriaLibrary& library, OperatorPrompts& prompts, QWidget* parent)
    : QDialog(parent), model_(library), prompts_(prompts) {
    setWindowTitle(kScriptsDialogTitle);
    auto* groups = new QGridLayout;
    groups->addWidget(BuildScriptList(), 0, 0);
    groups->addWidget(BuildInformation(), 0, 1);
    groups->addWidget(BuildElements(), 1, 0);
    groups->addWidget(BuildNaming(), 1, 1);

    QPushButton* run = AddButton("Run", &ScriptsDialog::Run);
    run->setDefault(true);
    QPushButton* close = AddButton("Close", nullptr);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(run);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    Show();
}

QPushButton* ScriptsDialog::AddButton(const char* text, void (ScriptsDialog::*command)()) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(text);
    button->setAutoDefault(false);
    if (command != nullptr) {
        connect(button, &QPushButton::clicked, this, command);
    }
    return button;
}

QLineEdit* ScriptsDialog::AddField(ScriptField field) {
    auto* edit = new QLineEdit(this);
    KeepToLatin1(*edit);
    fields_[static_cast<std::size_t>(field)] = edit;
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) {
        model_.Type(field, FromQt(text));
        Show();
    });
    return edit;
}

QGroupBox* ScriptsDialog::BuildScriptList() {
    auto* group = new QGroupBox("Script List", this);
    scripts_ = new QListWidget(group);
    scripts_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(scripts_, &QListWidget::itemSelectionChanged, this, [this] {
        model_.SelectScript(SelectedRow(scripts_));
        Show();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddButton("Create", &ScriptsDialog::Create));
    buttons->addWidget(AddButton("Delete", &ScriptsDialog::Delete));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(scripts_);
    layout->addLayout(buttons);
    return group;
}

QGroupBox* ScriptsDialog::BuildInformation() {
    auto* group = new QGroupBox("Script Information", this);
    auto* form = new QFormLayout(group);
    form->addRow("Description:", AddField(ScriptField::Description));
    form->addRow("Customer:", AddField(ScriptField::Customer));
    form->addRow("Job #:", AddField(ScriptField::JobNumber));
    form->addRow("Operator:", AddField(ScriptField::Operator));
    form->addRow("Station ID", AddField(ScriptField::StationId));
    return group;
}

QGroupBox* ScriptsDialog::BuildElements() {
    auto* group = new QGroupBox("Script Elements", this);
    elements_ = new QListWidget(group);
    elements_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(elements_, &QListWidget::itemSelectionChanged, this, [this] {
        model_.SelectElement(SelectedRow(elements_));
        Show();
    });
    criteria_ = new QComboBox(group);
    for (const auto& choice : model_.CriterionChoices()) {
        criteria_->addItem(ToQt(choice.Name));
    }
    connect(criteria_, &QComboBox::activated, this, [this](int index) {
        model_.ChooseCriterion(index);
        Show();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddButton("Add", &ScriptsDialog::Add));
    buttons->addWidget(AddButton("Remove", &ScriptsDialog::Remove));
    auto* form = new QFormLayout;
    form->addRow("Criteria:", criteria_);
    form->addRow("S/N Postfix:", AddField(ScriptField::Postfix));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(elements_);
    layout->addLayout(buttons);
    layout->addLayout(form);
    return group;
}

QGroupBox* ScriptsDialog::BuildNaming() {
    auto* group = new QGroupBox("Sample Naming", this);
    prompt_ = new QRadioButton("Prompt for Coupon Descriptor or Serial Number", group);
    autoNumber_ = new QRadioButton("Automaticaly assign a serial number", group);
    naming_ = new QButtonGroup(group);
    naming_->addButton(prompt_);
    naming_->addButton(autoNumber_);
    connect(prompt_, &QRadioButton::clicked, this, [this] {
        model_.ChoosePrompt(true);
        Show();
    });
    connect(autoNumber_, &QRadioButton::clicked, this, [this] {
        model_.ChoosePrompt(false);
        Show();
    });
    auto* form = new QFormLayout;
    form->addRow("S/N Prefix", AddField(ScriptField::Prefix));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(prompt_);
    layout->addWidget(autoNumber_);
    layout->addLayout(form);
    layout->addStretch();
    return group;
}

void ScriptsDialog::SetRunningCheck(std::function<bool(const Script&)> isRunning) {
    model_.IsRunning = std::move(isRunning);
}

QPushButton* ScriptsDialog::Button(const char* text) const {
    return findChild<QPushButton*>(text);
}

QGroupBox* ScriptsDialog::Group(const char* title) const {
    for (QGroupBox* group : findChildren<QGroupBox*>()) {
        if (group->title() == title) {
            return group;
        }
    }
    return nullptr;
}

void ScriptsDialog::Create() {
    model_.Create();
    Show();
}

void ScriptsDialog::Delete() {
    Tell(model_.Delete());
    Show();
}

void ScriptsDialog::Add() {
    model_.Add();
    Show();
}

void ScriptsDialog::Remove() {
    Tell(model_.Remove());
    Show();
}

void ScriptsDialog::Run() {
    chosen_ = model_.SelectedScript();
    accept();
}

void ScriptsDialog::Tell(const Status& status) {
    if (!status) {
        prompts_.Message(status.Error().Message, kScriptsDialogTitle, PromptIcon::Warning);
    }
}

void ScriptsDialog::ShowLists() {
    const QSignalBlocker quietScripts(scripts_);
    const QSignalBlocker quietElements(elements_);
    ShowEntries(scripts_, model_.ScriptEntries(), model_.SelectedScriptIndex());
    ShowEntries(elements_, model_.ElementEntries(), model_.SelectedElementIndex());
}

void ScriptsDialog::Show() {
    ShowLists();
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const QString text = ToQt(model_.Text(static_cast<ScriptField>(i)));
        if (fields_[i]->text() != text) {
            fields_[i]->setText(text);  // never the field being typed in: it holds the text
        }
    }
    {
        const QSignalBlocker quiet(criteria_);
        criteria_->setCurrentIndex(model_.SelectedChoice());
    }
    // Both buttons are clear while no script is selected, which an exclusive
    // group does not allow.
    naming_->setExclusive(false);
    prompt_->setChecked(model_.PromptChoice() == true);
    autoNumber_->setChecked(model_.PromptChoice() == false);
    naming_->setExclusive(true);
}

}  // namespace orvik
