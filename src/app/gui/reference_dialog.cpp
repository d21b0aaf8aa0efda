#include "app/gui/reference_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik {

ReferenceDialog::ReferenceDialog(const QString& traceName, const QString& criterionName,
                                 const ReferenceTolerance& proposed, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Use as Reference");
    auto* layout = new QVBoxLayout(this);
    auto* text =
        new QLabel(QString("\"%1\" becomes the reference curve of the criterion \"%2\". Over the "
                           "criterion's window a measured curve must stay within:")
                       .arg(traceName, criterionName),
                   this);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("\u00b1", this));
    value_ = new QDoubleSpinBox(this);
    value_->setObjectName("tolerance");
    value_->setLocale(QLocale::c());
    value_->setDecimals(2);
    value_->setRange(0.0, 1000.0);
    value_->setValue(proposed.Value);
    row->addWidget(value_);
    unit_ = new QComboBox(this);
    unit_->setObjectName("toleranceUnit");
    unit_->addItem("\u03a9", static_cast<int>(ToleranceUnit::Ohms));
    unit_->addItem("%", static_cast<int>(ToleranceUnit::Percent));
    unit_->setCurrentIndex(proposed.Unit == ToleranceUnit::Ohms ? 0 : 1);
    row->addWidget(unit_);
    row->addStretch();
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ReferenceTolerance ReferenceDialog::Tolerance() const {
    return {static_cast<ToleranceUnit>(unit_->currentData().toInt()), value_->value()};
}

std::optional<ReferenceTolerance> AskReferenceTolerance(const QString& traceName,
                                                        const QString& criterionName,
                                                        const ReferenceTolerance& proposed,
                                                        QWidget* parent) {
    ReferenceDialog dialog(traceName, criterionName, proposed, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Tolerance();
}

}  // namespace orvik
