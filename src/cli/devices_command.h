#pragma once

#include <string>

#include "cli/cli_command.h"
#include "usb/usb_settings.h"

namespace orvik::cli {

// devices [--usb-id VID:PID[,VID:PID]]: the MV300s the real driver port sees,
// as a JSON list of {"bus", "address", "port", "serial", "firmware",
// "usb_id", "access"}; an empty list when none is attached.
int RunDevices(const Arguments& arguments);

// The USB settings the program keeps (the [usb] group of Orvik.conf), which
// the real-instrument commands start from; a value there that cannot be
// used is noted on standard error and its default stays.
UsbSettings ProgramUsbSettings(const std::string& command);

// The instrument ids of a --usb-id value into `settings`; a malformed value
// is a usage error.
void ApplyUsbIdOption(const std::string& value, UsbSettings& settings);

}  // namespace orvik::cli
