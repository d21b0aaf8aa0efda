#pragma once

#include "base/operator_prompts.h"

class QWidget;

namespace orvik {

// The operator's prompts as modal message boxes and dialogs over `parent`.
class OperatorPromptsDialog : public OperatorPrompts {
  public:
    explicit OperatorPromptsDialog(QWidget* parent) : parent_(parent) {}

    void Message(const std::string& text, const std::string& caption, PromptIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    std::optional<std::string> AskTraceName(const std::string& proposed) override;
    std::optional<std::string> AskCouponSerial() override;

  private:
    QWidget* parent_;
};

}  // namespace orvik
