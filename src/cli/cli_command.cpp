#include "cli/cli_command.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace orvik::cli {

bool ArgumentReader::Option(const char* name) {
    if (Done()) {
        return false;
    }
    const std::string& argument = arguments_[index_];
    const std::string option(name);
    if (argument == option) {
        ++index_;
        hasPendingValue_ = false;
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

std::string ArgumentReader::Value() {
    if (hasPendingValue_) {
        hasPendingValue_ = false;
        return pendingValue_;
    }
    if (Done()) {
        throw UsageError(currentOption_ + " needs a value");
    }
    return arguments_[index_++];
}

std::string ArgumentReader::Word() {
    if (Done()) {
        throw UsageError("missing argument");
    }
    const std::string& word = arguments_[index_];
    if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
        throw UsageError("unknown option " + word);
    }
    ++index_;
    return word;
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
