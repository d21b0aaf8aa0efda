#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace orvik::cli {

// Bad usage: the tool prints the message and the command's usage, exit code 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure: the tool prints one line to standard error, exit code 1.
class CommandFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const Arguments& arguments);  // arguments after the command name
};

// Runs the tool on a command line; returns the process's exit code.
int RunCli(int argc, char** argv);

// Every command of the tool, in the order that the usage text lists them.
const std::vector<Command>& Commands();

// Options of the form --name VALUE or --name=VALUE, and plain words.
class ArgumentReader {
  public:
    explicit ArgumentReader(const Arguments& arguments) : arguments_(arguments) {}
    bool Done() const { return index_ >= arguments_.size(); }
    // True when the next argument is the option `name`; its value, if the
    // option takes one, is then read with Value().
    bool Option(const char* name);
    std::string Value();
    std::string Word();
    const std::string& Peek() const { return arguments_[index_]; }

  private:
    const Arguments& arguments_;
    std::size_t index_ = 0;
    std::string pendingValue_;
    bool hasPendingValue_ = false;
    std::string currentOption_;
};

double ParseDouble(const std::string& text, const char* what);
long ParseInteger(const std::string& text, const char* what);

}  // namespace orvik::cli
