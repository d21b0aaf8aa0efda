#pragma once

#include <optional>
#include <string>

#include "base/measurement_mode.h"
#include "cli/cli_command.h"
#include "usb/usb_settings.h"

namespace orvik {
class JsonWriter;
class TraceRecord;
}  // namespace orvik

namespace orvik::cli {

struct MeasureOptions {
    bool simulate = false;
    std::optional<std::string> coupon;  // a coupon profile, checked
    std::optional<MeasurementMode> mode;
    std::optional<std::string> criteriaFile;
    std::optional<std::string> criterionName;
    std::optional<std::string> simStore;
    std::optional<std::string> ioLog;
    // Without --simulate: the instrument's USB ids (--usb-id), and which
    // instrument to use (--usb-serial), over the program's settings.
    std::optional<std::string> usbIds;
    std::optional<std::string> usbSerial;
    // The results database the test is stored in; none stores nothing.
    std::optional<std::string> results;
};

MeasureOptions ParseMeasureOptions(const Arguments& arguments);

// measure: starts the instrument as the program does and runs one test: Run
// Test's acquisition in the criterion's mode, judged by the criterion (the
// program's default criterion for the mode when none is named). Prints
// {"average", "deviation", "maximum", "minimum", "passed", "samples"}.
int RunMeasure(const Arguments& arguments);

// The printed result of one test.
void WriteMeasurementJson(JsonWriter& json, const TraceRecord& record);

}  // namespace orvik::cli
