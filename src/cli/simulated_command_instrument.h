#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/measurement_mode.h"
#include "base/operator_prompts.h"
#include "cli/cli_command.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::cli {

// Keeps the operator's messages: a failed test ends with the last of them as
// its one line; after a test that worked they are printed as notes. Questions
// get the answer that changes nothing.
class ConsolePrompts : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string& caption, PromptIcon) override {
        messages.push_back(caption.empty() ? text : caption + ": " + text);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return std::string(); }

    std::vector<std::string> messages;
};

// The simulated MV300 of the commands that measure, as the program has it:
// the default coupons on its cables unless `coupon` (a profile the command
// has checked) goes on both, and the `simStore` file, refused with a
// CommandFailure when it is not a store or cannot be written.
std::unique_ptr<sim::SimulatedDriverPort> SimulatedCommandInstrument(
    Clock& clock, const std::optional<std::string>& simStore,
    const std::optional<std::string>& coupon);

// The value of --mode: "single" or "differential"; anything else is bad usage.
MeasurementMode ParseModeOption(const std::string& text);

enum class Station { Operator, Characterisation };

// The command line the instrument's start-up is given, whose word
// "Characterize" makes a characterisation station: "orvik-cli COMMAND", with
// the word only for `Station::Characterisation`. The arguments are left out,
// so that no text given to an option can pass for the switch.
std::string StationCommandLine(const std::string& command, Station station);

// --simulate=PROFILE names the coupon as --coupon PROFILE does; both at once
// is bad usage.
void TakeSimulatedCoupon(std::optional<std::string>& coupon,
                         const std::optional<std::string>& simulated);

}  // namespace orvik::cli
