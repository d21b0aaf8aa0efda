// Arbitrary command lines for orvik-cli's run-script and calibrate, and
// arbitrary --usb-id and trigger-request texts. The input is the arguments
// separated by NUL bytes. A command line is either taken, and then holds what
// the command needs, or refused with a UsageError; nothing else may escape.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/calibrate_command.h"
#include "cli/cli_command.h"
#include "cli/run_script_command.h"
#include "usb/usb_settings.h"

namespace {

using namespace orvik;

cli::Arguments SplitArguments(const std::uint8_t* data, std::size_t size) {
    cli::Arguments arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(static_cast<char>(data[i]));
        }
    }
    return arguments;
}

void CheckRunScript(const cli::Arguments& arguments) {
    cli::RunScriptOptions options;
    try {
        options = cli::ParseRunScriptOptions(arguments);
    } catch (const cli::UsageError&) {
        return;
    }
    if (!options.simulate || !options.criteriaFile || !options.description || options.coupons < 1) {
        std::abort();
    }
    if (options.serials && options.serials->empty()) {
        std::abort();
    }
}

bool Usable(const cli::AirlineArgument& airline) {
    return std::isfinite(airline.Ohms) && std::isfinite(airline.Inches);
}

void CheckCalibrate(const cli::Arguments& arguments) {
    cli::CalibrateOptions options;
    try {
        options = cli::ParseCalibrateOptions(arguments);
    } catch (const cli::UsageError&) {
        return;
    }
    if ((options.simStore && !options.simulate) || (options.reset && !options.characterize)) {
        std::abort();
    }
    for (const cli::AirlineArgument& airline : options.airlines) {
        if (!Usable(airline)) {
            std::abort();
        }
    }
    if (options.verify && !Usable(*options.verify)) {
        std::abort();
    }
}

// A text that is taken must read back the same from its own rendering.
void CheckUsbTexts(const std::string& text) {
    if (const Result<UsbId> id = ParseUsbId(text); id) {
        const Result<UsbId> again = ParseUsbId(id->ToString());
        if (!again || !(*again == *id)) {
            std::abort();
        }
    }
    UsbSettings settings;
    if (ApplyInstrumentIds(text, settings)) {
        UsbSettings again;
        if (!ApplyInstrumentIds(InstrumentIdsText(settings), again) ||
            !(again.instrumentCold == settings.instrumentCold) ||
            !(again.instrumentRunning == settings.instrumentRunning)) {
            std::abort();
        }
    }
    if (const Result<TriggerRequestSetup> setup = ParseTriggerRequestSetup(text); setup) {
        const Result<TriggerRequestSetup> again = ParseTriggerRequestSetup(setup->ToString());
        if (!again || !(*again == *setup)) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const cli::Arguments arguments = SplitArguments(data, size);
    CheckRunScript(arguments);
    CheckCalibrate(arguments);
    CheckUsbTexts(arguments.front());
    return 0;
}
