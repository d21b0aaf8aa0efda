#include "report/gui/preferences_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "base/gui/latin1_field.h"
#include "base/gui/prompt_dialogs.h"
#include "base/operator_prompts.h"
#include "criteria/criteria_library.h"
#include "criteria/criteria_manager.h"

namespace orvik {
namespace {

// The stored order of the preferences, which is also the order on the form.
std::array<std::string ReportPreferences::*, 9> kFields = {
    &ReportPreferences::CompanyName,
    &ReportPreferences::Address1,
    &ReportPreferences::Address2,
    &ReportPreferences::Telephone,
    &ReportPreferences::Fax,
    &ReportPreferences::Email,
    &ReportPreferences::Web,
    &ReportPreferences::DefaultPrefix,
    &ReportPreferences::DefaultPostfix,
};

const char* const kLabels[9] = {
    "Company Name:",  "Address",        "", "Telephone", "Fax", "EMail", "Web",
    "Default Prefix", "Default Postfix"};

}  // namespace

bool HighContrastColours() {
    return QSettings().value(kHighContrastSetting, false).toBool();
}

bool StatisticsAppendixWanted() {
    return QSettings().value(kStatisticsAppendixSetting, false).toBool();
}

namespace {

QGroupBox* PrintedReportsGroup(QCheckBox*& box, QWidget* parent) {
    auto* group = new QGroupBox("Printed reports", parent);
    auto* layout = new QVBoxLayout(group);
    box = new QCheckBox("Append the lot &statistics of each script run", group);
    box->setObjectName("statisticsAppendix");
    box->setToolTip(
        "Printed and PDF reports end with a page per script run: the statistics table and "
        "the histogram of each test, from the results database");
    box->setChecked(StatisticsAppendixWanted());
    layout->addWidget(box);
    return group;
}

// Written only when the operator changed it, as the colours are.
void KeepChangedChoice(const char* key, bool shown, bool chosen) {
    if (chosen != shown) {
        QSettings().setValue(key, chosen);
    }
}

}  // namespace

PreferencesDialog::PreferencesDialog(const ReportPreferences& values, bool promptForTraceName,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Preferences");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        fields_[i] = new QLineEdit(ToQt(values.*kFields[i]), this);
        KeepToLatin1(*fields_[i]);
        form->addRow(kLabels[i], fields_[i]);
    }
    layout->addLayout(form);
    prompt_ = new QCheckBox("Prompt for Serial Number", this);
    prompt_->setChecked(promptForTraceName);
    layout->addWidget(prompt_);
    auto* display = new QGroupBox("Display", this);
    auto* displayLayout = new QVBoxLayout(display);
    highContrast_ = new QCheckBox("&High-contrast colours", display);
    highContrast_->setObjectName("highContrast");
    highContrast_->setToolTip(
        "Graph and test tree in colours that read at a glance: white "
        "background, darker texts");
    highContrast_->setChecked(HighContrastColours());
    displayLayout->addWidget(highContrast_);
    layout->addWidget(display);
    layout->addWidget(PrintedReportsGroup(statisticsAppendix_, this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ReportPreferences PreferencesDialog::Values() const {
    ReportPreferences values;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        values.*kFields[i] = FromQt(fields_[i]->text());
    }
    return values;
}

bool PreferencesDialog::PromptForTraceName() const {
    return prompt_->isChecked();
}

void PreferencesDialog::ShowResultsDatabase(const QString& text) {
    if (results_ == nullptr) {
        results_ = new QLineEdit(this);
        results_->setPlaceholderText("the embedded file, or postgresql://user@server/database");
        results_->setMinimumWidth(320);
        auto* form = new QFormLayout;
        form->addRow("Results database:", results_);
        static_cast<QVBoxLayout*>(layout())->insertLayout(layout()->count() - 1, form);
    }
    results_->setText(text);
}

QString PreferencesDialog::ResultsDatabase() const {
    return results_ ? results_->text() : QString();
}

bool EditPreferences(CriteriaLibrary& library, const std::string& path, OperatorPrompts& prompts,
                     QWidget* parent, QString* resultsDatabase) {
    PreferencesDialog dialog(library.Preferences, library.PromptForTraceName != 0, parent);
    if (resultsDatabase != nullptr) {
        dialog.ShowResultsDatabase(*resultsDatabase);
    }
    const bool highContrastShown = dialog.HighContrastBox()->isChecked();
    const bool appendixShown = dialog.StatisticsAppendixBox()->isChecked();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        library.Preferences = dialog.Values();
        library.PromptForTraceName = dialog.PromptForTraceName() ? 1 : 0;
        // Written only when the operator changed it, so that accepting the
        // dialog in one program never undoes a choice another just made.
        const bool highContrast = dialog.HighContrastBox()->isChecked();
        if (highContrast != highContrastShown) {
            QSettings().setValue(kHighContrastSetting, highContrast);
        }
        KeepChangedChoice(kStatisticsAppendixSetting, appendixShown,
                          dialog.StatisticsAppendixBox()->isChecked());
        if (resultsDatabase != nullptr) {
            *resultsDatabase = dialog.ResultsDatabase();
        }
    }
    // Saved whichever button was chosen, as the library has always been.
    (void)SaveLibrary(library, prompts, path);
    return accepted;
}

}  // namespace orvik
