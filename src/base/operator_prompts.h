#pragma once

#include <optional>
#include <string>

namespace orvik {

enum class PromptIcon { None, Information, Warning, Error, Question };

// Everything the system asks or tells the operator in a modal box. The
// program answers with message boxes and dialogs; tests with scripted answers.
class OperatorPrompts {
  public:
    virtual ~OperatorPrompts() = default;

    // A message with an OK button. An empty caption means the program's own title.
    virtual void Message(const std::string& text, const std::string& caption,
                         PromptIcon icon = PromptIcon::None) = 0;

    // A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;

    // The Trace Name dialog, with the proposed name in its field. Empty when
    // the operator cancels.
    virtual std::optional<std::string> AskTraceName(const std::string& proposed) = 0;

    // The Coupon Serial Number dialog. Empty when the operator cancels; an
    // empty string is a valid answer.
    virtual std::optional<std::string> AskCouponSerial() = 0;
};

}  // namespace orvik
