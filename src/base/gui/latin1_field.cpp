#include "base/gui/latin1_field.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

#include "base/latin1_text.h"

namespace orvik {

QString UnstorableCharacterMessage(const QString& text) {
    const auto found = FindUnstorable(text.toStdString());
    if (!found) {
        return {};
    }
    QString message = QString::fromStdString(UnstorableTextMessage(*found));
    message[0] = message[0].toUpper();
    return message + ".";
}

QValidator::State Latin1Validator::validate(QString& input, int&) const {
    const QString message = UnstorableCharacterMessage(input);
    if (message.isEmpty()) {
        return Acceptable;
    }
    emit Refused(message);
    return Invalid;
}

void KeepToLatin1(QLineEdit& field) {
    auto* validator = new Latin1Validator(&field);
    field.setValidator(validator);
    QPointer<QLineEdit> shown(&field);
    // Told once the edit is over, so that the field is never left half-changed
    // under a message box.
    QObject::connect(
        validator, &Latin1Validator::Refused, &field,
        [shown](const QString& message) {
            if (shown) {
                QMessageBox::warning(shown->window(), "Orvik", message);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace orvik
