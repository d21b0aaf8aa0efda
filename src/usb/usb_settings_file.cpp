// The program writes its settings with the desktop's settings library in
// its INI form; the command-line tool has no such library and reads the
// [usb] group here, with the same rules for the values it can hold: a
// string in double quotes with backslash escapes, or a bare value, whose
// commas make a list that reads back joined by commas.
#include "usb/usb_settings_file.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace orvik {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A quoted value: up to the closing quote, with \" \\ \n \t \r undone.
std::string Unquoted(const std::string& value) {
    std::string text;
    for (std::size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char escaped = value[++i];
        text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped == 'r' ? '\r' : escaped;
    }
    return text;
}

std::string ValueOf(const std::string& raw) {
    const std::string value = Trimmed(raw);
    if (value.starts_with('"')) {
        return Unquoted(value);
    }
    std::string joined;
    std::istringstream items(value);
    for (std::string item; std::getline(items, item, ',');) {
        joined += (joined.empty() ? "" : ",") + Trimmed(item);
    }
    return joined;
}

template <class Parsed, class Apply>
void Use(const std::string& key, Result<Parsed> parsed, Apply apply,
         std::vector<std::string>& notes) {
    if (parsed) {
        apply(*parsed);
    } else {
        notes.push_back("usb/" + key + ": " + parsed.Error().Message);
    }
}

}  // namespace

std::filesystem::path ProgramSettingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path folder;
    if (config != nullptr && std::filesystem::path(config).is_absolute()) {
        folder = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::filesystem::path(home) / ".config";
    } else {
        return {};
    }
    return folder / "Local AppWizard-Generated Applications" / "Orvik.conf";
}

std::vector<std::string> ApplyUsbSettingsText(const std::string& text, UsbSettings& settings) {
    std::vector<std::string> notes;
    bool inUsb = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = Trimmed(line);
        if (line.starts_with('[')) {
            inUsb = line == "[usb]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inUsb || equals == std::string::npos || line.starts_with(';') ||
            line.starts_with('#')) {
            continue;
        }
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = ValueOf(line.substr(equals + 1));
        if (key == "instrumentIds") {
            // Applied whole or not at all.
            UsbSettings trial = settings;
            if (const Result<void> applied = ApplyInstrumentIds(value, trial); applied) {
                settings = trial;
            } else {
                notes.push_back("usb/instrumentIds: " + applied.Error().Message);
            }
        } else if (key == "triggerId") {
            Use(
                key, ParseUsbId(value), [&](UsbId id) { settings.trigger = id; }, notes);
        } else if (key == "triggerRequest") {
            Use(
                key, ParseTriggerRequestSetup(value),
                [&](TriggerRequestSetup setup) { settings.triggerSetup = setup; }, notes);
        } else if (key == "serial") {
            settings.serial = value;
        }
    }
    return notes;
}

std::vector<std::string> ApplyUsbSettingsFile(const std::filesystem::path& file,
                                              UsbSettings& settings) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {};
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ApplyUsbSettingsText(text, settings);
}

}  // namespace orvik
