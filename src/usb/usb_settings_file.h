#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "usb/usb_settings.h"

namespace orvik {

// The program's settings file, where it keeps its usb/ settings:
// $XDG_CONFIG_HOME (else ~/.config)/Local AppWizard-Generated Applications/Orvik.conf.
// Empty when neither folder can be named.
std::filesystem::path ProgramSettingsFile();

// Applies the [usb] group of the settings file's text to `settings`, read as
// the program reads it: instrumentIds, triggerId, triggerRequest and serial.
// A value that cannot be used leaves its setting as it was and is named in
// the notes returned.
std::vector<std::string> ApplyUsbSettingsText(const std::string& text, UsbSettings& settings);

// The same from the file; a missing file changes nothing.
std::vector<std::string> ApplyUsbSettingsFile(const std::filesystem::path& file,
                                              UsbSettings& settings);

}  // namespace orvik
