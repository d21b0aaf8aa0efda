#include "base/gui/operator_prompts_dialog.h"

#include <QMessageBox>

#include "base/gui/prompt_dialogs.h"

namespace orvik {
namespace {

QMessageBox::Icon ToQtIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QString CaptionOrTitle(const std::string& caption) {
    return caption.empty() ? QString("Orvik") : ToQt(caption);
}

}  // namespace

void OperatorPromptsDialog::Message(const std::string& text, const std::string& caption,
                                    PromptIcon icon) {
    QMessageBox box(ToQtIcon(icon), CaptionOrTitle(caption), ToQt(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool OperatorPromptsDialog::AskYesNo(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, CaptionOrTitle(caption), ToQt(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> OperatorPromptsDialog::AskTraceName(const std::string& proposed) {
    TraceNameDialog dialog(ToQt(proposed), parent_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return FromQt(dialog.Name());
}

std::optional<std::string> OperatorPromptsDialog::AskCouponSerial() {
    CouponSerialDialog dialog(parent_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return FromQt(dialog.Serial());
}

}  // namespace orvik
