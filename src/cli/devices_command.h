#pragma once

#include <string>

#include "cli/cli_command.h"
#include "usb/usb_settings.h"

namespace orvik::cli {

// devices [--usb-id VID:PID[,VID:PID]]: the MV300s the real driver port sees,
// as a JSON list of {"bus", "address", "serial", "firmware", "usb_id"};
// an empty list when none is attached.
int RunDevices(const Arguments& arguments);

// The settings with the instrument ids of a --usb-id value; a malformed
// value is a usage error.
UsbSettings ParseUsbIdOption(const std::string& value);

}  // namespace orvik::cli
