#pragma once

#include <optional>
#include <string>

#include "cli/cli_command.h"

namespace orvik::cli {

struct MeasureOptions {
    bool simulate = false;
    std::optional<std::string> coupon;
    std::string mode = "single";
    std::optional<std::string> criteriaFile;
    std::optional<std::string> criterionName;
    std::optional<std::string> simStore;
    std::optional<std::string> ioLog;
};

MeasureOptions ParseMeasureOptions(const Arguments& arguments);

// measure: starts the instrument as the program does and runs one test.
int RunMeasure(const Arguments& arguments);

}  // namespace orvik::cli
