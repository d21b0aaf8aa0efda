#include "usb/usb_settings.h"

#include <cstdio>
#include <optional>

namespace orvik {
namespace {

// Exactly `digits` hexadecimal digits (1 to 4 for a 16-bit field), nothing else.
std::optional<std::uint16_t> HexField(const std::string& text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return static_cast<std::uint16_t>(value);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

std::string UsbId::ToString() const {
    char text[10];
    std::snprintf(text, sizeof text, "%04X:%04X", static_cast<unsigned>(vendor),
                  static_cast<unsigned>(product));
    return text;
}

std::string TriggerRequestSetup::ToString() const {
    char text[20];
    std::snprintf(text, sizeof text, "%02X:%02X:%04X:%04X", static_cast<unsigned>(requestType),
                  static_cast<unsigned>(request), static_cast<unsigned>(value),
                  static_cast<unsigned>(index));
    return text;
}

Result<UsbId> ParseUsbId(const std::string& text) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() == 2) {
        const auto vendor = HexField(parts[0], 4);
        const auto product = HexField(parts[1], 4);
        if (vendor && product) {
            return UsbId{*vendor, *product};
        }
    }
    return Failure{"\"" + text + "\" is no USB id: VID:PID in hexadecimal, e.g. 2F4E:0300", ""};
}

Result<void> ApplyInstrumentIds(const std::string& text, UsbSettings& settings) {
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.size() > 2) {
        return Failure{"\"" + text +
                           "\" names more than two USB ids (before and after the "
                           "instrument's program is loaded)",
                       ""};
    }
    std::vector<UsbId> ids;
    for (const std::string& part : parts) {
        Result<UsbId> id = ParseUsbId(part);
        if (!id) {
            return id.Error();
        }
        ids.push_back(*id);
    }
    settings.instrumentCold = ids.front();
    settings.instrumentRunning = ids.back();
    return {};
}

std::string InstrumentIdsText(const UsbSettings& settings) {
    return settings.instrumentCold.ToString() + "," + settings.instrumentRunning.ToString();
}

Result<TriggerRequestSetup> ParseTriggerRequestSetup(const std::string& text) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() == 4) {
        const auto type = HexField(parts[0], 2);
        const auto request = HexField(parts[1], 2);
        const auto value = HexField(parts[2], 4);
        const auto index = HexField(parts[3], 4);
        if (type && request && value && index) {
            return TriggerRequestSetup{static_cast<std::uint8_t>(*type),
                                       static_cast<std::uint8_t>(*request), *value, *index};
        }
    }
    return Failure{"\"" + text +
                       "\" is no trigger request: TYPE:REQUEST:VALUE:INDEX in hexadecimal, e.g. "
                       "C0:01:0000:0000",
                   ""};
}

}  // namespace orvik
