#include "base/gui/prompt_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/gui/latin1_field.h"

namespace orvik {
namespace {

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

TraceNameDialog::TraceNameDialog(const QString& proposed, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Trace Name");
    auto* layout = new QVBoxLayout(this);
    field_ = new QLineEdit(proposed, this);
    field_->setObjectName("traceNameField");
    KeepToLatin1(*field_);
    field_->selectAll();
    field_->setMinimumWidth(280);
    layout->addWidget(field_);
    layout->addWidget(OkCancel(this));
}

QString TraceNameDialog::Name() const {
    return field_->text();
}

CouponSerialDialog::CouponSerialDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Coupon Serial Number");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter the Serial Number for the next coupon.", this));
    field_ = new QLineEdit(this);
    field_->setObjectName("couponSerialField");
    KeepToLatin1(*field_);
    field_->setMinimumWidth(280);
    layout->addWidget(field_);
    layout->addWidget(OkCancel(this));
}

QString CouponSerialDialog::Serial() const {
    return field_->text();
}

QString AboutDialog::AboutText() {
    return "Orvik 1.5\r\n"
           "Impedance test software for the MV300 time-domain reflectometer\r\n"
           "Built by the Orvik developers\r\n";
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Orvik");
    auto* layout = new QVBoxLayout(this);
    auto* text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setPlainText(QString(AboutText()).remove('\r'));
    text->setMinimumWidth(440);
    text->setFixedHeight(text->fontMetrics().lineSpacing() * 4);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::AcceptRole);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace orvik
