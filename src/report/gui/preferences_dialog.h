#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "base/display_units.h"
#include "criteria/report_preferences.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace orvik {

class CriteriaLibrary;
class OperatorPrompts;

// Where the program keeps the operator's choice of the high-contrast colours
// (this computer's settings, not the criteria library).
inline constexpr const char* kHighContrastSetting = "Display/highContrast";
bool HighContrastColours();

// This computer's choice of units for positions on screen and paper, and the
// propagation velocity for delays (none when unset or unusable).
inline constexpr const char* kLengthUnitSetting = "Display/lengthUnit";  // "in" or "mm"
inline constexpr const char* kVelocityFactorSetting = "Display/velocityFactor";
DisplayUnits CurrentDisplayUnits();

// Whether printed and exported reports end with the lot statistics of each
// script run (this computer's settings; off unless the operator asks).
inline constexpr const char* kStatisticsAppendixSetting = "Report/statisticsAppendix";
bool StatisticsAppendixWanted();

// "Preferences": the company details printed on reports, the default serial
// prefix and postfix, and "Prompt for Serial Number" (the trace-name flag);
// in a group of its own, Display, the high-contrast colours, the unit of
// positions and the propagation velocity; in another, Printed reports, the
// statistics appendix.
class PreferencesDialog : public QDialog {
    Q_OBJECT
  public:
    PreferencesDialog(const ReportPreferences& values, bool promptForTraceName,
                      QWidget* parent = nullptr);

    // The station's results database (a postgresql:// URL or an SQLite
    // file; empty for the embedded file), shown when the program keeps one.
    void ShowResultsDatabase(const QString& text);
    QString ResultsDatabase() const;
    QLineEdit* ResultsField() const { return results_; }

    ReportPreferences Values() const;
    bool PromptForTraceName() const;

    // The nine fields in their order on the form.
    QLineEdit* Field(int index) const { return fields_.at(static_cast<std::size_t>(index)); }
    QCheckBox* PromptBox() const { return prompt_; }
    QCheckBox* HighContrastBox() const { return highContrast_; }
    QComboBox* LengthUnitBox() const { return lengthUnit_; }
    QLineEdit* VelocityField() const { return velocity_; }
    // The units chosen on the form; none while the velocity is no usable
    // fraction of the speed of light.
    std::optional<DisplayUnits> Units() const;

    void accept() override;
    QCheckBox* StatisticsAppendixBox() const { return statisticsAppendix_; }

  private:
    QGroupBox* DisplayGroup();

    std::array<QLineEdit*, 9> fields_{};
    QCheckBox* prompt_;
    QCheckBox* highContrast_;
    QComboBox* lengthUnit_;
    QLineEdit* velocity_;
    QCheckBox* statisticsAppendix_ = nullptr;
    QLineEdit* results_ = nullptr;
};

// The File menu's Preferences: the dialog filled from the library, its values
// copied back on OK only, and the library saved to `path` either way through
// SaveLibrary (a damaged file is replaced only with consent, a
// failed save is told to the operator). True when OK was chosen; the colour
// set is kept then too. With `resultsDatabase`, the dialog shows that field
// too and OK gives it back there; it is kept with the program's settings,
// not in the library.
bool EditPreferences(CriteriaLibrary& library, const std::string& path, OperatorPrompts& prompts,
                     QWidget* parent, QString* resultsDatabase = nullptr);

}  // namespace orvik
