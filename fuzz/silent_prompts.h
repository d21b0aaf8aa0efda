#pragma once

#include <optional>
#include <string>

#include "base/operator_prompts.h"

// An operator who reads nothing and answers No to every question, for the
// fuzz targets that run the instrument's start-up and acquisitions.
class SilentPrompts : public orvik::OperatorPrompts {
  public:
    void Message(const std::string&, const std::string&, orvik::PromptIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return std::string(); }
};
