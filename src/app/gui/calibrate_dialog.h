#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "chart/chart_types.h"
#include "collection/trace_record.h"
#include "instrument/calibration_session.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace orvik {

class OperatorPrompts;
class XGraphWidget;

// The Calibration dialog: checks the calibration against airlines (Verify),
// adjusts it (Calibrate), characterises the cable ("eoc") and, on a
// characterisation station, resets both modes to factory values. The work is
// the CalibrationSession's; the dialog holds its fields, takes them from the
// controls before each operation and shows the results. Cancel (the button,
// Escape or the close box) puts back every value in force at opening; Save
// only closes, and the main window writes the store. While an operation runs
// the dialog stays open; a close asked for meanwhile follows its end.
class CalibrateDialog : public QDialog {
    Q_OBJECT
  public:
    // Runs an instrument operation: on the program's worker, the window still
    // answering, or in place.
    using InstrumentRunner = std::function<void(const std::function<void()>&)>;

    // `current` is the active collection's current trace, shown until the
    // first measurement; `prompts` tells the operator about fields that hold
    // no number.
    CalibrateDialog(CalibrationSession& session, const TraceRecord* current,
                    OperatorPrompts& prompts, InstrumentRunner run, QWidget* parent = nullptr);

    // On the simulator: a button opens `menu` (the Simulator menu), so that
    // the airline is attached or the cable's end left open for eoc without
    // leaving the dialog, while the main window's menus are out of reach.
    void OfferSimulatorMenu(QMenu& menu);

    // The operator's name as taken at Save.
    QString OperatorName() const { return operatorName_; }
    XGraphWidget& Chart() { return *chart_; }

  public slots:
    void OnSingleEnded();
    void OnDifferential();
    void OnVerify();
    void OnCalibrate();
    void OnEoc();
    void OnReset();
    void accept() override;
    void reject() override;

  private:
    void BuildControls(const QString& lastOperator, const QString& lastDate);
    void StyleChart();
    void SelectMode(MeasurementMode mode);
    // Fields from the controls; false (after telling the operator) when a
    // number field holds no number.
    bool TakeControls();
    // Controls from the fields: typed edits not taken are replaced.
    void RefreshControls();
    void ShowPoints(std::vector<CurvePoint> points, double xMaximum, double yMaximum);
    void ShowMeasurement();
    // Runs an instrument operation, then `show`s what it did. The dialog does
    // not close while the operation runs: a close asked for meanwhile waits.
    void Run(const std::function<void()>& work, const std::function<void()>& show);

    CalibrationSession& session_;
    OperatorPrompts& prompts_;
    InstrumentRunner run_;

    // The dialog's fields.
    QString operatorName_;
    double length_ = kDefaultAirlineLength;
    double known_ = 0.0;
    QString measured_;

    QRadioButton* singleEnded_ = nullptr;
    QRadioButton* differential_ = nullptr;
    QLabel* constantText_ = nullptr;
    QLineEdit* operatorEdit_ = nullptr;
    QLineEdit* lengthEdit_ = nullptr;
    QLineEdit* knownEdit_ = nullptr;
    QLabel* measuredText_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QPushButton* simulatorButton_ = nullptr;
    XGraphWidget* chart_ = nullptr;
    std::vector<CurvePoint> points_;
    bool running_ = false;
    // How the dialog closes once the operation under way has ended.
    std::optional<int> closeWhenDone_;
};

}  // namespace orvik
