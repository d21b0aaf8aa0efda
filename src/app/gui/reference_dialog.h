#pragma once

#include <QDialog>
#include <optional>

#include "criteria/criterion_reference.h"

class QComboBox;
class QDoubleSpinBox;

namespace orvik {

// The tolerance around a reference curve, as the operator chose it.
struct ReferenceTolerance {
    ToleranceUnit Unit = ToleranceUnit::Percent;
    double Value = 5.0;
};

// "Use as Reference": how far a measured curve may stray from the chosen
// trace, in ohms or percent, for the criterion the trace was judged against.
class ReferenceDialog : public QDialog {
    Q_OBJECT
  public:
    ReferenceDialog(const QString& traceName, const QString& criterionName,
                    const ReferenceTolerance& proposed, QWidget* parent = nullptr);

    ReferenceTolerance Tolerance() const;
    QDoubleSpinBox* ValueBox() const { return value_; }
    QComboBox* UnitBox() const { return unit_; }

  private:
    QDoubleSpinBox* value_;
    QComboBox* unit_;
};

// Shows the dialog; none when the operator cancels.
std::optional<ReferenceTolerance> AskReferenceTolerance(const QString& traceName,
                                                        const QString& criterionName,
                                                        const ReferenceTolerance& proposed,
                                                        QWidget* parent);

}  // namespace orvik
