#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "instrument/driver_port.h"

struct libusb_device;
struct libusb_transfer;

namespace orvik {

class LibusbDriverPort;

// One transfer of the instrument's driver requests as libusb carries it.
struct UsbTransferRequest {
    bool control = false;
    bool interrupt = false;  // else bulk
    bool in = false;         // device-to-host
    std::uint8_t endpoint = 0;
    // What libusb moves: for a control transfer the setup packet and then
    // the data stage, else the data alone.
    std::vector<std::uint8_t> buffer;
    // libusb's own time-out; 0 waits until the transfer ends or is cancelled.
    std::int64_t timeoutMs = 0;
    // The caller's transfer header (status words go there) and where data
    // read from the device goes.
    std::span<std::uint8_t> header;
    std::span<std::uint8_t> destination;
    // Added to the bytes moved for the byte count the driver reports: the
    // header's data offset.
    std::uint32_t countOffset = 0;

    // Filled in by the port.
    LibusbDriverPort* port = nullptr;
    libusb_transfer* transfer = nullptr;
    DriverHandle handle = kInvalidDriverHandle;
    bool releasesController = false;
    int completed = 0;       // libusb's completion flag
    bool abandoned = false;  // finished before it completed: the caller's bytes are gone
    IoResult result;
};

// The transfer that a control (0x220020), buffered (0x220024) or direct
// (0x22004B) request describes, checked as the driver checks it: header
// fields, lengths, and the endpoint among those of the claimed interface
// (`endpointTypes`: address to transfer type).
Result<std::unique_ptr<UsbTransferRequest>> DecodeTransfer(
    std::uint32_t code, std::span<std::uint8_t> input, std::span<std::uint8_t> output,
    const std::map<std::uint8_t, std::uint8_t>& endpointTypes);

// The bulk and interrupt endpoints of the device's first interface.
std::map<std::uint8_t, std::uint8_t> EndpointTypes(libusb_device* device);

// The write of 0 to the controller's CPU register (vendor request 0xA0 at
// 0xE600) that starts its newly loaded program.
bool ReleasesController(const UsbTransferRequest& request);
// Any write through vendor request 0xA0 into the controller's memories.
bool IsControllerUpload(const UsbTransferRequest& request);
// The write of 1 to that register, which holds the controller before an upload.
bool HoldsController(const UsbTransferRequest& request);

// How a finished libusb transfer ends for the instrument code: the result and
// the status word A of the header.
std::pair<IoResult, std::uint32_t> OutcomeOf(int transferStatus, int actualLength,
                                             const UsbTransferRequest& request);
// Copies what the device sent to the caller's destination.
void DeliverIn(const UsbTransferRequest& request, int actualLength);
void WriteStatus(std::span<std::uint8_t> header, std::uint32_t statusA);
// A refused request reports why in its header, when it has one.
void MarkMalformed(std::span<std::uint8_t> input);

// Answers to the driver's queries.
IoResult AnswerWord(std::span<std::uint8_t> output, std::uint32_t value, std::size_t size);
IoResult AnswerText(std::span<std::uint8_t> output, const std::string& text);

}  // namespace orvik
