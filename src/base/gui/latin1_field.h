#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace orvik {

// Keeps a text field to what the files can hold. A character outside Latin-1,
// typed or pasted, is refused: the field keeps the text it had, and the
// operator is told which character it was (after the edit, in a message box
// over the field's window). Nothing is turned into "?" on the way to a file.
void KeepToLatin1(QLineEdit& field);

// The validator behind KeepToLatin1. `Refused` is emitted once per refused
// edit with the message the operator is shown.
class Latin1Validator : public QValidator {
    Q_OBJECT
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;

  signals:
    void Refused(const QString& message) const;
};

// 'The character "Ω" (U+03A9) cannot be stored: ...' for the first character
// of `text` that Latin-1 cannot hold; empty when there is none.
QString UnstorableCharacterMessage(const QString& text);

}  // namespace orvik
