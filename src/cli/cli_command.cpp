#include "cli/cli_command.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "base/latin1_text.h"
#include "simulator/coupon_profile.h"

namespace orvik::cli {

bool ArgumentReader::Done() {
    RefuseUnreadValue();
    return index_ >= arguments_.size();
}

void ArgumentReader::RefuseUnreadValue() {
    if (hasPendingValue_) {
        hasPendingValue_ = false;
        throw UsageError(currentOption_ + " takes no value: " + currentOption_ + "=" +
                         pendingValue_);
    }
}

bool ArgumentReader::Flag(const char* name) {
    if (!Option(name)) {
        return false;
    }
    RefuseUnreadValue();
    return true;
}

bool ArgumentReader::Option(const char* name) {
    RefuseUnreadValue();
    if (index_ >= arguments_.size()) {
        return false;
    }
    const std::string& argument = arguments_[index_];
    const std::string option(name);
    if (argument == option) {
        ++index_;
        currentOption_ = option;
        return true;
    }
    if (argument.size() > option.size() && argument.compare(0, option.size(), option) == 0 &&
        argument[option.size()] == '=') {
        pendingValue_ = argument.substr(option.size() + 1);
        hasPendingValue_ = true;
        currentOption_ = option;
        ++index_;
        return true;
    }
    return false;
}

bool ArgumentReader::Simulate(std::optional<std::string>& profile) {
    RefuseUnreadValue();
    if (index_ >= arguments_.size()) {
        return false;
    }
    const auto simulate = sim::ReadSimulateOption(arguments_[index_]);
    if (!simulate) {
        return false;
    }
    if (!*simulate) {
        throw UsageError((*simulate).Error().Message);
    }
    ++index_;
    if ((*simulate)->ProfileText) {
        profile = (*simulate)->ProfileText;
    }
    return true;
}

std::string ArgumentReader::Value() {
    if (hasPendingValue_) {
        hasPendingValue_ = false;
        return pendingValue_;
    }
    if (index_ >= arguments_.size()) {
        throw UsageError(currentOption_ + " needs a value");
    }
    return arguments_[index_++];
}

std::string ArgumentReader::Text() {
    const std::string option = currentOption_;
    Result<std::string> text = Utf8ToLatin1(Value());
    if (!text) {
        throw UsageError(option + ": " + text.Error().Message);
    }
    return std::move(*text);
}

std::string ArgumentReader::Word() {
    RefuseUnreadValue();
    if (index_ >= arguments_.size()) {
        throw UsageError("missing argument");
    }
    const std::string& word = arguments_[index_];
    if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
        throw UsageError("unknown option " + word);
    }
    ++index_;
    return word;
}

std::string ForTerminal(const std::string& stored) {
    return Latin1ToUtf8(stored);
}

double ParseDouble(const std::string& text, const char* what) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw UsageError(std::string(what) + " must be a number: " + text);
    }
    return value;
}

long ParseInteger(const std::string& text, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0) {
        throw UsageError(std::string(what) + " must be a whole number: " + text);
    }
    return value;
}

}  // namespace orvik::cli
