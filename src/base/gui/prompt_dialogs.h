#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QLineEdit;
class QWidget;

namespace orvik {

// The system's texts are single-byte; shown as Latin-1 they keep every byte.
// Fields that fill them take only Latin-1 (KeepToLatin1), so that FromQt
// never has a character to lose.
inline QString ToQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) {
    return text.toLatin1().toStdString();
}

// File names, and the collection titles made of them, are UTF-8 as the file
// system takes them, whatever the files' own text is.
inline QString PathToQt(const std::string& path) {
    return QString::fromStdString(path);
}
inline std::string PathFromQt(const QString& path) {
    return path.toStdString();
}

// "Trace Name": one field holding the proposed name; OK returns the edited text.
class TraceNameDialog : public QDialog {
    Q_OBJECT
  public:
    TraceNameDialog(const QString& proposed, QWidget* parent = nullptr);
    QString Name() const;

  private:
    QLineEdit* field_;
};

// "Coupon Serial Number": asks for the next coupon's serial; empty is allowed.
class CouponSerialDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CouponSerialDialog(QWidget* parent = nullptr);
    QString Serial() const;

  private:
    QLineEdit* field_;
};

// "About Orvik": the program's version and its maker.
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
    static QString AboutText();
};

}  // namespace orvik
