#include "usb/usb_request.h"

#include <libusb.h>

#include <algorithm>

#include "instrument/transfer_header.h"

namespace orvik {
namespace {

constexpr std::uint8_t kVendorHostToDevice = 0x40;
constexpr std::uint8_t kFirmwareLoad = 0xA0;
constexpr std::uint16_t kControllerCpuRegister = 0xE600;

Failure Malformed(const std::string& why) {
    return Failure{"The driver request is malformed", why};
}

IoResult Failed(std::uint32_t error) {
    return IoResult{false, 0, error};
}

bool FitsIn(std::size_t end, std::span<std::uint8_t> input, std::span<std::uint8_t> output) {
    return end <= input.size() && end <= output.size();
}

// The setup packet and data stage of a control request.
Result<std::unique_ptr<UsbTransferRequest>> ControlTransfer(const TransferHeader& header,
                                                            std::span<std::uint8_t> input,
                                                            std::span<std::uint8_t> output) {
    const std::size_t dataEnd = std::size_t{header.dataOffset} + header.dataLength;
    if (header.endpointAddress != 0 || header.dataOffset != TransferHeader::kSize ||
        header.dataLength != header.length || !FitsIn(dataEnd, input, output)) {
        return Malformed("control transfer header does not describe its data stage");
    }
    auto request = std::make_unique<UsbTransferRequest>();
    request->control = true;
    request->in = (header.requestType & LIBUSB_ENDPOINT_IN) != 0;
    request->buffer.assign(LIBUSB_CONTROL_SETUP_SIZE + header.length, 0);
    libusb_fill_control_setup(request->buffer.data(), header.requestType, header.request,
                              header.value, header.index, header.length);
    if (!request->in) {
        std::copy_n(input.begin() + TransferHeader::kSize, header.length,
                    request->buffer.begin() + LIBUSB_CONTROL_SETUP_SIZE);
    }
    request->destination = output.subspan(TransferHeader::kSize, header.length);
    request->countOffset = TransferHeader::kSize;
    request->timeoutMs = std::int64_t{header.timeoutSeconds} * 1000;
    return request;
}

// A bulk or interrupt request, its data behind the header (buffered) or in
// the caller's output buffer (direct).
Result<std::unique_ptr<UsbTransferRequest>> PipeTransfer(
    std::uint32_t code, const TransferHeader& header, std::span<std::uint8_t> input,
    std::span<std::uint8_t> output, const std::map<std::uint8_t, std::uint8_t>& endpointTypes) {
    const auto type = endpointTypes.find(header.endpointAddress);
    if (type == endpointTypes.end()) {
        return Malformed("no such endpoint");
    }
    const bool direct = code == usb_request::kDirectTransfer;
    const std::size_t dataEnd = std::size_t{header.dataOffset} + header.dataLength;
    if (direct ? (header.dataOffset != 0 || header.dataLength != 0)
               : (header.dataOffset != TransferHeader::kSize || !FitsIn(dataEnd, input, output))) {
        return Malformed("pipe transfer header does not describe its data");
    }
    auto request = std::make_unique<UsbTransferRequest>();
    request->endpoint = header.endpointAddress;
    request->interrupt = type->second == LIBUSB_TRANSFER_TYPE_INTERRUPT;
    request->in = (header.endpointAddress & LIBUSB_ENDPOINT_IN) != 0;
    const std::span<std::uint8_t> data =
        direct ? output : input.subspan(header.dataOffset, header.dataLength);
    request->buffer.assign(data.size(), 0);
    if (!request->in) {
        std::copy(data.begin(), data.end(), request->buffer.begin());
    }
    request->destination = direct ? output : output.subspan(header.dataOffset, header.dataLength);
    request->countOffset = header.dataOffset;
    return request;
}

}  // namespace

Result<std::unique_ptr<UsbTransferRequest>> DecodeTransfer(
    std::uint32_t code, std::span<std::uint8_t> input, std::span<std::uint8_t> output,
    const std::map<std::uint8_t, std::uint8_t>& endpointTypes) {
    if (input.size() < TransferHeader::kSize) {
        return Malformed("shorter than a transfer header");
    }
    const TransferHeader header = TransferHeader::ReadFrom(input);
    if (header.packetTableLength != 0 || header.flag != 0) {
        return Malformed("the instrument has no isochronous endpoints");
    }
    Result<std::unique_ptr<UsbTransferRequest>> request =
        code == usb_request::kControlTransfer ? ControlTransfer(header, input, output)
        : code == usb_request::kBufferedTransfer || code == usb_request::kDirectTransfer
            ? PipeTransfer(code, header, input, output, endpointTypes)
            : Result<std::unique_ptr<UsbTransferRequest>>(Malformed("not a transfer"));
    if (request) {
        (*request)->header = input.first(TransferHeader::kSize);
    }
    return request;
}

std::map<std::uint8_t, std::uint8_t> EndpointTypes(libusb_device* device) {
    std::map<std::uint8_t, std::uint8_t> types;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0) {
        return types;
    }
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
        const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
        for (int i = 0; i < setting.bNumEndpoints; ++i) {
            const libusb_endpoint_descriptor& endpoint = setting.endpoint[i];
            types[endpoint.bEndpointAddress] =
                static_cast<std::uint8_t>(endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK);
        }
    }
    libusb_free_config_descriptor(config);
    return types;
}

bool IsControllerUpload(const UsbTransferRequest& request) {
    const std::vector<std::uint8_t>& b = request.buffer;
    return request.control && b.size() > LIBUSB_CONTROL_SETUP_SIZE && b[0] == kVendorHostToDevice &&
           b[1] == kFirmwareLoad;
}

namespace {

bool WritesControllerRegister(const UsbTransferRequest& request, std::uint8_t value) {
    const std::vector<std::uint8_t>& b = request.buffer;
    return IsControllerUpload(request) && (b[2] | (b[3] << 8)) == kControllerCpuRegister &&
           b[LIBUSB_CONTROL_SETUP_SIZE] == value;
}

}  // namespace

bool ReleasesController(const UsbTransferRequest& request) {
    return WritesControllerRegister(request, 0);
}

bool HoldsController(const UsbTransferRequest& request) {
    return WritesControllerRegister(request, 1);
}

std::pair<IoResult, std::uint32_t> OutcomeOf(int transferStatus, int actualLength,
                                             const UsbTransferRequest& request) {
    switch (transferStatus) {
        case LIBUSB_TRANSFER_COMPLETED:
            return {IoResult{true, request.countOffset + static_cast<std::uint32_t>(actualLength),
                             os_error::kSuccess},
                    0};
        case LIBUSB_TRANSFER_TIMED_OUT:
            return {Failed(os_error::kSemaphoreTimeout), driver_status::kTimeout};
        case LIBUSB_TRANSFER_CANCELLED:
            return {Failed(os_error::kOperationAborted), driver_status::kCanceled};
        case LIBUSB_TRANSFER_STALL:
            return {Failed(os_error::kGeneralFailure), driver_status::kStall};
        case LIBUSB_TRANSFER_NO_DEVICE:
            return {Failed(os_error::kDeviceNotConnected), driver_status::kDeviceGone};
        default:
            return {Failed(os_error::kGeneralFailure), driver_status::kNotResponding};
    }
}

void DeliverIn(const UsbTransferRequest& request, int actualLength) {
    if (!request.in || actualLength <= 0) {
        return;
    }
    const std::size_t start = request.control ? LIBUSB_CONTROL_SETUP_SIZE : 0;
    const std::size_t available = request.buffer.size() - start;
    const std::size_t count =
        std::min({static_cast<std::size_t>(actualLength), available, request.destination.size()});
    std::copy_n(request.buffer.begin() + static_cast<std::ptrdiff_t>(start), count,
                request.destination.begin());
}

void WriteStatus(std::span<std::uint8_t> header, std::uint32_t statusA) {
    if (header.size() >= TransferHeader::kSize) {
        WriteU32(header, TransferHeader::kStatusAOffset, statusA);
        WriteU32(header, TransferHeader::kStatusBOffset, 0);
    }
}

void MarkMalformed(std::span<std::uint8_t> input) {
    if (input.size() >= TransferHeader::kSize) {
        WriteU32(input, TransferHeader::kStatusAOffset, driver_status::kInvalidParameter);
        WriteU32(input, TransferHeader::kStatusBOffset, os_error::kInvalidParameter);
    }
}

IoResult AnswerWord(std::span<std::uint8_t> output, std::uint32_t value, std::size_t size) {
    if (output.size() < size) {
        return Failed(os_error::kInsufficientBuffer);
    }
    for (std::size_t i = 0; i < size; ++i) {
        output[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return IoResult{true, static_cast<std::uint32_t>(size), os_error::kSuccess};
}

IoResult AnswerText(std::span<std::uint8_t> output, const std::string& text) {
    if (output.size() < text.size() + 1) {
        return Failed(os_error::kInsufficientBuffer);
    }
    std::fill(output.begin(), output.end(), 0);
    std::copy(text.begin(), text.end(), output.begin());
    return IoResult{true, static_cast<std::uint32_t>(text.size() + 1), os_error::kSuccess};
}

}  // namespace orvik
