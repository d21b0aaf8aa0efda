#pragma once

#include <optional>
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

// One command of the tool. `usage` is its synopsis after "orvik-cli ";
// `help` says what it does and what each option means, printed with the
// synopsis by "orvik-cli COMMAND --help". A new command is a row of the table
// in commands.cpp.
struct Command {
    const char* name;
    const char* usage;
    const char* help;
    int (*run)(const Arguments& arguments);  // arguments after the command name
};

// Runs the tool on a command line; returns the process's exit code.
int RunCli(int argc, char** argv);

// Every command of the tool, in the order that the usage text lists them.
const std::vector<Command>& Commands();

// Reads a command's arguments in order: on/off options (--name, which take
// no value), options with a value (--name VALUE or --name=VALUE), and plain
// words. An on/off option given a value is bad usage, never a silent "on".
class ArgumentReader {
  public:
    explicit ArgumentReader(const Arguments& arguments) : arguments_(arguments) {}
    // True when every argument has been read. A value given to an option
    // that took none is bad usage.
    bool Done();
    // True when the next argument is the on/off option `name`.
    bool Flag(const char* name);
    // True when the next argument is the option `name`; its value is then
    // read with Value() or Text().
    bool Option(const char* name);
    // True when the next argument is --simulate or --simulate=PROFILE, read
    // as the program reads it; the profile's text goes to `profile`.
    bool Simulate(std::optional<std::string>& profile);
    // The option's value as given: a file name, a number.
    std::string Value();
    // The option's value as text for the files, converted from the
    // terminal's UTF-8 to their Latin-1; a character they cannot hold is
    // bad usage, named in the message.
    std::string Text();
    std::string Word();
    const std::string& Peek() const { return arguments_[index_]; }

  private:
    void RefuseUnreadValue();

    const Arguments& arguments_;
    std::size_t index_ = 0;
    std::string pendingValue_;
    bool hasPendingValue_ = false;
    std::string currentOption_;
};

// Stored text (Latin-1) as the terminal shows it (UTF-8), for messages.
std::string ForTerminal(const std::string& stored);

double ParseDouble(const std::string& text, const char* what);
long ParseInteger(const std::string& text, const char* what);

}  // namespace orvik::cli
