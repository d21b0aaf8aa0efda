#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"

namespace orvik {

// A USB vendor and product id, as "VID:PID" in hexadecimal ("2F4E:0300").
struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    bool operator==(const UsbId&) const = default;
    std::string ToString() const;
};

// The setup packet of the trigger port's one request: the 8-byte packet goes
// out, or its reply comes in, as the data stage of this control transfer
// (direction from bit 7 of the request type).
struct TriggerRequestSetup {
    std::uint8_t requestType = 0xC0;  // vendor, device, device-to-host
    std::uint8_t request = 0x01;
    std::uint16_t value = 0;
    std::uint16_t index = 0;

    bool operator==(const TriggerRequestSetup&) const = default;
    // "TYPE:REQUEST:VALUE:INDEX" in hexadecimal, e.g. "C0:01:0000:0000".
    std::string ToString() const;
};

// Which USB devices are the instrument and the trigger port. The instrument
// shows one id while its controller has no program and may show another once
// its program runs (it leaves the bus and comes back after the upload).
struct UsbSettings {
    // The instrument's USB controller before its program is loaded: the
    // controller maker's own id, which the MV300 keeps until then.
    UsbId instrumentCold{0x04B4, 0x8613};
    // The MV300 with its program running.
    UsbId instrumentRunning{0x2F4E, 0x0300};
    UsbId trigger{0x2F4E, 0x0301};
    TriggerRequestSetup triggerSetup;
    // The instrument to use when several are attached, by its serial number;
    // empty for the first one found that can be opened.
    std::string serial;
    // How long the instrument may stay off the bus after its new program
    // started before the program gives up waiting for it to come back.
    std::int64_t renumerationWaitMs = 8000;
    // Bulk and interrupt requests made without an overlapped wait end after this.
    std::int64_t synchronousTimeoutMs = 10000;

    bool IsInstrument(UsbId id) const { return id == instrumentCold || id == instrumentRunning; }
};

// "VID:PID" or "VID:PID,VID:PID" (before and after the program upload; one
// pair is used for both) into `settings`.
Result<void> ApplyInstrumentIds(const std::string& text, UsbSettings& settings);
std::string InstrumentIdsText(const UsbSettings& settings);
Result<UsbId> ParseUsbId(const std::string& text);
Result<TriggerRequestSetup> ParseTriggerRequestSetup(const std::string& text);

}  // namespace orvik
