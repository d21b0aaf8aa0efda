#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace orvik::cli {

// What a run-script command line asks for.
struct RunScriptOptions {
    bool simulate = false;
    std::optional<std::string> criteriaFile;
    std::optional<std::string> description;
    int coupons = 0;
    std::optional<std::vector<std::string>> serials;
    std::optional<std::string> coupon;
    std::optional<std::string> out;
    std::optional<std::string> simStore;
    std::optional<std::string> results;  // the results database, checked
};

// The batch's options; bad usage throws UsageError.
RunScriptOptions ParseRunScriptOptions(const Arguments& arguments);

// orvik-cli run-script: a scripted batch on the simulated instrument.
int RunRunScript(const Arguments& arguments);

}  // namespace orvik::cli
