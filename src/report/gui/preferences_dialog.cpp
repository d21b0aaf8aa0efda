#include "report/gui/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
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

DisplayUnits CurrentDisplayUnits() {
    const QSettings settings;
    DisplayUnits units;
    if (settings.value(kLengthUnitSetting).toString() == "mm") {
        units.Length = LengthUnit::Millimetres;
    }
    bool valid = false;
    units.VelocityFactor =
        ParseVelocityFactor(FromQt(settings.value(kVelocityFactorSetting).toString()), &valid);
    return units;
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

// Written only when the operator changed it, so that accepting the dialog
// in one program never undoes a choice another just made.
void KeepChangedChoice(const char* key, const QVariant& shown, const QVariant& chosen) {
    if (chosen != shown) {
        QSettings().setValue(key, chosen);
    }
}

QString LengthUnitText(LengthUnit unit) {
    return unit == LengthUnit::Millimetres ? "mm" : "in";
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
    layout->addWidget(DisplayGroup());
    layout->addWidget(PrintedReportsGroup(statisticsAppendix_, this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

// Colours, the unit of positions and the propagation velocity, as this
// computer keeps them.
QGroupBox* PreferencesDialog::DisplayGroup() {
    auto* display = new QGroupBox("Display", this);
    auto* displayLayout = new QVBoxLayout(display);
    highContrast_ = new QCheckBox("&High-contrast colours", display);
    highContrast_->setObjectName("highContrast");
    highContrast_->setToolTip(
        "Graph and test tree in colours that read at a glance: white "
        "background, darker texts");
    highContrast_->setChecked(HighContrastColours());
    displayLayout->addWidget(highContrast_);
    const DisplayUnits units = CurrentDisplayUnits();
    auto* unitsForm = new QFormLayout;
    lengthUnit_ = new QComboBox(display);
    lengthUnit_->setObjectName("lengthUnit");
    lengthUnit_->addItem("Inches", static_cast<int>(LengthUnit::Inches));
    lengthUnit_->addItem("Millimetres", static_cast<int>(LengthUnit::Millimetres));
    lengthUnit_->setCurrentIndex(units.Length == LengthUnit::Millimetres ? 1 : 0);
    unitsForm->addRow("&Positions in:", lengthUnit_);
    velocity_ = new QLineEdit(ToQt(VelocityFactorText(units.VelocityFactor)), display);
    velocity_->setObjectName("velocityFactor");
    velocity_->setPlaceholderText("none: no delays shown");
    velocity_->setToolTip(
        "The coupon's propagation velocity as a fraction of the speed of light (for example "
        "0.5); with it the graph also shows delays in picoseconds");
    unitsForm->addRow("Propagation &velocity (x c):", velocity_);
    displayLayout->addLayout(unitsForm);
    return display;
}

std::optional<DisplayUnits> PreferencesDialog::Units() const {
    DisplayUnits units;
    units.Length = static_cast<LengthUnit>(lengthUnit_->currentData().toInt());
    bool valid = false;
    units.VelocityFactor = ParseVelocityFactor(FromQt(velocity_->text()), &valid);
    if (!valid) {
        return std::nullopt;
    }
    return units;
}

void PreferencesDialog::accept() {
    if (!Units()) {
        // Kept open: the operator corrects the number or empties the field.
        QMessageBox::warning(this, "Preferences",
                             "The propagation velocity is a fraction of the speed of light, "
                             "above 0 and at most 1 (for example 0.5), or empty for none.");
        velocity_->setFocus();
        velocity_->selectAll();
        return;
    }
    QDialog::accept();
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
    const std::optional<DisplayUnits> unitsShown = dialog.Units();
    const bool appendixShown = dialog.StatisticsAppendixBox()->isChecked();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        library.Preferences = dialog.Values();
        library.PromptForTraceName = dialog.PromptForTraceName() ? 1 : 0;
        // Each choice on its own, and only when the operator changed it.
        KeepChangedChoice(kHighContrastSetting, highContrastShown,
                          dialog.HighContrastBox()->isChecked());
        const DisplayUnits units = *dialog.Units();
        KeepChangedChoice(kLengthUnitSetting,
                          unitsShown ? QVariant(LengthUnitText(unitsShown->Length)) : QVariant(),
                          LengthUnitText(units.Length));
        KeepChangedChoice(kVelocityFactorSetting,
                          unitsShown
                              ? QVariant(ToQt(VelocityFactorText(unitsShown->VelocityFactor)))
                              : QVariant(),
                          ToQt(VelocityFactorText(units.VelocityFactor)));
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
