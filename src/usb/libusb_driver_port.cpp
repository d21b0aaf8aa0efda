#include "usb/libusb_driver_port.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "instrument/program_image.h"
#include "instrument/transfer_header.h"
#include "instrument/trigger_port.h"
#include "usb/usb_bus.h"
#include "usb/usb_request.h"

namespace orvik {
namespace {

constexpr const char* kLogSource = "usb";
// A cancelled transfer comes back at once from a working bus; this bounds
// the wait when it does not.
constexpr std::int64_t kCancelCompletionMs = 1000;
constexpr std::int64_t kTriggerTimeoutMs = 1000;
constexpr std::uint16_t kRunningReleaseNumber = 0x0064;

IoResult Failed(std::uint32_t error) {
    return IoResult{false, 0, error};
}

// What a libusb call's error means to the instrument code.
std::uint32_t ErrorOf(int libusbError) {
    switch (libusbError) {
        case LIBUSB_ERROR_NO_DEVICE:
            return os_error::kDeviceNotConnected;
        case LIBUSB_ERROR_NOT_FOUND:
            return os_error::kFileNotFound;
        case LIBUSB_ERROR_ACCESS:
            return os_error::kAccessDenied;
        case LIBUSB_ERROR_BUSY:
            return os_error::kSharingViolation;
        case LIBUSB_ERROR_TIMEOUT:
            return os_error::kSemaphoreTimeout;
        case LIBUSB_ERROR_INVALID_PARAM:
            return os_error::kInvalidParameter;
        default:
            return os_error::kGeneralFailure;
    }
}

std::optional<std::pair<int, int>> BusAndAddress(const std::string& path) {
    int bus = 0;
    int address = 0;
    char end = 0;
    if (std::sscanf(path.c_str(), "/dev/bus/usb/%3d/%3d%c", &bus, &address, &end) != 2) {
        return std::nullopt;
    }
    return std::pair{bus, address};
}

}  // namespace

using usb_bus::DeviceList;
using usb_bus::SerialOf;

struct LibusbDriverPort::Connection {
    libusb_device_handle* handle = nullptr;
    Kind kind = Kind::Instrument;
    AttachedInstrument device;
    // The transfer type of each endpoint of the claimed interface.
    std::map<std::uint8_t, std::uint8_t> endpointTypes;
    bool claimed = false;
    // On the session's instrument, whose handle and claim outlive it.
    bool session = false;
};

Result<std::unique_ptr<LibusbDriverPort>> LibusbDriverPort::Create(UsbSettings settings) {
    libusb_context* context = nullptr;
    const int result = libusb_init(&context);
    if (result != 0) {
        return Failure{"USB devices cannot be reached",
                       std::string("libusb_init: ") + libusb_error_name(result)};
    }
    return std::unique_ptr<LibusbDriverPort>(new LibusbDriverPort(context, std::move(settings)));
}

LibusbDriverPort::LibusbDriverPort(libusb_context* context, UsbSettings settings)
    : context_(context), settings_(std::move(settings)) {}

LibusbDriverPort::~LibusbDriverPort() {
    for (auto& [handle, connection] : connections_) {
        CancelRequests(handle, std::nullopt);
        WaitForAbandoned(handle);
    }
    for (auto& [handle, connection] : connections_) {
        if (connection->session) {
            continue;
        }
        if (connection->claimed) {
            libusb_release_interface(connection->handle, 0);
        }
        libusb_close(connection->handle);
    }
    connections_.clear();
    if (claim_) {
        claim_->users = 0;
        DropClaim();
    }
    requests_.clear();
    abandoned_.clear();
    libusb_exit(context_);
}

std::size_t LibusbDriverPort::PendingRequests() const {
    return requests_.size() +
           static_cast<std::size_t>(std::count_if(abandoned_.begin(), abandoned_.end(),
                                                  [](const auto& r) { return !r->completed; }));
}

OpenResult LibusbDriverPort::Open(const std::string& path, OpenOptions) {
    const auto place = BusAndAddress(path);
    if (!place) {
        return {kInvalidDriverHandle, os_error::kFileNotFound};
    }
    auto isSession = [&] {
        return claim_ && chosen_->bus == place->first && chosen_->address == place->second;
    };
    if (isSession()) {
        return OpenSession(nextHandle_++);
    }
    const DeviceList list(context_);
    for (libusb_device* device : list.Devices()) {
        if (libusb_get_bus_number(device) != place->first ||
            libusb_get_device_address(device) != place->second) {
            continue;
        }
        libusb_device_descriptor descriptor{};
        libusb_get_device_descriptor(device, &descriptor);
        const UsbId id{descriptor.idVendor, descriptor.idProduct};
        if (id != settings_.trigger) {
            // An instrument is only ever the session's: the search claims it
            // (when none is claimed yet, this may be the one).
            if (!settings_.IsInstrument(id) || claim_) {
                return {kInvalidDriverHandle, os_error::kFileNotFound};
            }
            InstrumentPaths();
            return isSession() ? OpenSession(nextHandle_++)
                               : OpenResult{kInvalidDriverHandle, os_error::kFileNotFound};
        }
        auto connection = std::make_unique<Connection>();
        connection->kind = Kind::Trigger;
        connection->device = {place->first, place->second, usb_bus::PortOf(device), id, {}, false};
        const int opened = libusb_open(device, &connection->handle);
        if (opened != 0) {
            log_->Warning(kLogSource, "Cannot open " + path + ": " + libusb_error_name(opened) +
                                          (opened == LIBUSB_ERROR_ACCESS
                                               ? " (is the udev rule for Orvik installed?)"
                                               : ""));
            return {kInvalidDriverHandle, ErrorOf(opened)};
        }
        libusb_set_auto_detach_kernel_driver(connection->handle, 1);
        const int claimed = libusb_claim_interface(connection->handle, 0);
        if (claimed != 0) {
            log_->Warning(kLogSource, "Cannot claim " + path + ": " + libusb_error_name(claimed));
            libusb_close(connection->handle);
            return {kInvalidDriverHandle, ErrorOf(claimed)};
        }
        connection->claimed = true;
        connection->endpointTypes = EndpointTypes(device);
        const DriverHandle handle = nextHandle_++;
        connections_[handle] = std::move(connection);
        return {handle, os_error::kSuccess};
    }
    return {kInvalidDriverHandle, os_error::kFileNotFound};
}

// A connection on the session's instrument, which stays claimed after it.
OpenResult LibusbDriverPort::OpenSession(DriverHandle handle) {
    auto connection = std::make_unique<Connection>();
    connection->handle = claim_->handle;
    connection->kind = Kind::Instrument;
    connection->device = *chosen_;
    connection->endpointTypes = claim_->endpointTypes;
    connection->session = true;
    ++claim_->users;
    connections_[handle] = std::move(connection);
    return {handle, os_error::kSuccess};
}

void LibusbDriverPort::DropClaim() {
    if (claim_ == nullptr || claim_->users > 0) {
        return;
    }
    libusb_release_interface(claim_->handle, 0);
    libusb_close(claim_->handle);
    claim_.reset();
}

std::uint32_t LibusbDriverPort::Close(DriverHandle handle) {
    const auto found = connections_.find(handle);
    if (found == connections_.end()) {
        return os_error::kInvalidHandle;
    }
    // Nothing may still run on a handle that goes.
    CancelRequests(handle, std::nullopt);
    WaitForAbandoned(handle);
    Connection& connection = *found->second;
    if (connection.session) {
        --claim_->users;
    } else {
        if (connection.claimed) {
            libusb_release_interface(connection.handle, 0);
        }
        libusb_close(connection.handle);
    }
    connections_.erase(found);
    return os_error::kSuccess;
}

LibusbDriverPort::Connection* LibusbDriverPort::Find(DriverHandle handle) {
    const auto found = connections_.find(handle);
    return found == connections_.end() ? nullptr : found->second.get();
}

IoResult LibusbDriverPort::IoControl(DriverHandle handle, std::uint32_t code,
                                     std::span<std::uint8_t> input,
                                     std::span<std::uint8_t> output) {
    SweepAbandoned();
    Connection* connection = Find(handle);
    if (connection == nullptr) {
        return Failed(os_error::kInvalidHandle);
    }
    if (connection->kind == Kind::Trigger) {
        return code == CTriggerPort::kTriggerRequest ? TriggerRequest(*connection, input, output)
                                                     : Failed(os_error::kInvalidFunction);
    }
    switch (code) {
        case usb_request::kAbortPipe:
        case usb_request::kResetPipe:
            return PipeRequest(handle, *connection, code, input);
        case usb_request::kControlTransfer:
        case usb_request::kBufferedTransfer:
        case usb_request::kDirectTransfer: {
            Result<std::unique_ptr<Request>> request =
                DecodeTransfer(code, input, output, connection->endpointTypes);
            if (!request) {
                MarkMalformed(input);
                return Failed(os_error::kInvalidParameter);
            }
            if (RefusesUpload(*connection, **request)) {
                MarkMalformed(input);
                return Failed(os_error::kBadFormat);
            }
            const std::int64_t timeoutMs =
                (*request)->timeoutMs > 0 ? (*request)->timeoutMs : settings_.synchronousTimeoutMs;
            return RunToCompletion(handle, std::move(*request), timeoutMs);
        }
        default:
            return Query(*connection, code, output);
    }
}

IoResult LibusbDriverPort::Query(Connection& connection, std::uint32_t code,
                                 std::span<std::uint8_t> output) {
    switch (code) {
        case usb_request::kDriverVersion:
            // libusb hands the data straight to the caller's buffer.
            return AnswerWord(output, kFirstDirectDriverVersion, 4);
        case usb_request::kSecondVersionWord: {
            const libusb_version* version = libusb_get_version();
            return AnswerWord(output,
                              (std::uint32_t{version->major} << 24) |
                                  (std::uint32_t{version->minor} << 16) | version->micro,
                              4);
        }
        case usb_request::kAlternateSetting:
            // Interface 0 is claimed in its first setting and never switched.
            return AnswerWord(output, 0, 1);
        case usb_request::kAttributeByte:
            return AnswerWord(output,
                              static_cast<std::uint32_t>(
                                  libusb_get_device_speed(libusb_get_device(connection.handle))),
                              1);
        case usb_request::kFirstDriverString: {
            const libusb_version* version = libusb_get_version();
            char text[64];
            std::snprintf(text, sizeof text, "libusb-1.0 %u.%u.%u", version->major, version->minor,
                          version->micro);
            return AnswerText(output, text);
        }
        case usb_request::kSecondDriverString:
            return AnswerText(output, PathOf(connection.device.bus, connection.device.address));
        default:
            return Failed(os_error::kInvalidFunction);
    }
}

IoResult LibusbDriverPort::TriggerRequest(Connection& connection, std::span<std::uint8_t> input,
                                          std::span<std::uint8_t> output) {
    constexpr std::size_t kPacketSize = 8;
    if (input.size() < kPacketSize || output.size() < kPacketSize) {
        return Failed(os_error::kInvalidParameter);
    }
    const TriggerRequestSetup& setup = settings_.triggerSetup;
    std::uint8_t packet[kPacketSize];
    std::copy_n(input.begin(), kPacketSize, packet);
    const int moved =
        libusb_control_transfer(connection.handle, setup.requestType, setup.request, setup.value,
                                setup.index, packet, kPacketSize, kTriggerTimeoutMs);
    if (moved < 0) {
        return Failed(ErrorOf(moved));
    }
    // A reply shorter than the packet leaves the rest as it was sent.
    const bool reply = (setup.requestType & LIBUSB_ENDPOINT_IN) != 0;
    std::copy_n(input.begin(), kPacketSize, output.begin());
    if (reply) {
        std::copy_n(packet, static_cast<std::size_t>(moved), output.begin());
    }
    return IoResult{true, kPacketSize, os_error::kSuccess};
}

IoResult LibusbDriverPort::PipeRequest(DriverHandle handle, Connection& connection,
                                       std::uint32_t code, std::span<std::uint8_t> input) {
    if (input.empty()) {
        return Failed(os_error::kInvalidParameter);
    }
    const std::uint8_t endpoint = input[0];
    if (endpoint != 0 && connection.endpointTypes.count(endpoint) == 0) {
        return Failed(os_error::kInvalidParameter);
    }
    if (code == usb_request::kAbortPipe) {
        CancelRequests(handle, endpoint);
        return IoResult{true, 0, os_error::kSuccess};
    }
    if (endpoint == 0) {
        return IoResult{true, 0, os_error::kSuccess};  // the control pipe never halts for good
    }
    const int cleared = libusb_clear_halt(connection.handle, endpoint);
    return cleared == 0 ? IoResult{true, 0, os_error::kSuccess} : Failed(ErrorOf(cleared));
}

IoStart LibusbDriverPort::StartIoControl(DriverHandle handle, std::uint32_t code,
                                         std::span<std::uint8_t> input,
                                         std::span<std::uint8_t> output) {
    SweepAbandoned();
    Connection* connection = Find(handle);
    if (connection == nullptr) {
        return IoStart{os_error::kInvalidHandle, 0};
    }
    if (connection->kind == Kind::Trigger) {
        return IoStart{os_error::kInvalidFunction, 0};
    }
    Result<std::unique_ptr<Request>> request =
        DecodeTransfer(code, input, output, connection->endpointTypes);
    if (!request) {
        MarkMalformed(input);
        return IoStart{os_error::kInvalidParameter, 0};
    }
    if (RefusesUpload(*connection, **request)) {
        MarkMalformed(input);
        return IoStart{os_error::kBadFormat, 0};
    }
    return Submit(handle, std::move(*request));
}

// The simulated MV300's controller program never reaches a device: its
// upload is refused, and with it the rest of that upload and the release
// that would start the controller on what it got, up to the next hold.
bool LibusbDriverPort::RefusesUpload(Connection& connection, const Request& request) {
    if (connection.kind != Kind::Instrument || !IsControllerUpload(request)) {
        return false;
    }
    if (HoldsController(request)) {
        refusingUpload_ = false;
        return false;
    }
    const auto data = std::span(request.buffer).subspan(LIBUSB_CONTROL_SETUP_SIZE);
    if (!refusingUpload_ && CarriesSimulatedControllerTag(data)) {
        refusingUpload_ = true;
        log_->Error(kLogSource,
                    "Refused to load the simulated MV300's controller program into the " +
                        connection.device.Describe());
    }
    return refusingUpload_;
}

IoStart LibusbDriverPort::Submit(DriverHandle handle, std::unique_ptr<Request> request) {
    Connection& connection = *Find(handle);
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr) {
        return IoStart{os_error::kGeneralFailure, 0};
    }
    request->transfer = transfer;
    request->handle = handle;
    request->port = this;
    request->releasesController =
        request->control && connection.kind == Kind::Instrument && ReleasesController(*request);
    if (request->releasesController) {
        // What is on the bus before the controller leaves it: the instrument
        // that comes back is none of these.
        releasing_ = InstrumentPlaces();
    }
    const auto length = static_cast<int>(request->buffer.size());
    if (request->control) {
        libusb_fill_control_transfer(transfer, connection.handle, request->buffer.data(),
                                     &TransferCallback, request.get(),
                                     static_cast<unsigned>(request->timeoutMs));
    } else if (request->interrupt) {
        libusb_fill_interrupt_transfer(transfer, connection.handle, request->endpoint,
                                       request->buffer.data(), length, &TransferCallback,
                                       request.get(), static_cast<unsigned>(request->timeoutMs));
    } else {
        libusb_fill_bulk_transfer(transfer, connection.handle, request->endpoint,
                                  request->buffer.data(), length, &TransferCallback, request.get(),
                                  static_cast<unsigned>(request->timeoutMs));
    }
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted != 0) {
        libusb_free_transfer(transfer);
        request->transfer = nullptr;
        const std::uint32_t error = ErrorOf(submitted);
        WriteStatus(request->header, submitted == LIBUSB_ERROR_NO_DEVICE
                                         ? driver_status::kDeviceGone
                                         : driver_status::kNotResponding);
        return IoStart{error, 0};
    }
    const RequestId id = nextRequest_++;
    requests_[id] = std::move(request);
    return IoStart{os_error::kIoPending, id};
}

void LibusbDriverPort::TransferCallback(libusb_transfer* transfer) {
    auto* request = static_cast<Request*>(transfer->user_data);
    request->port->Completed(*request, *transfer);
}

void LibusbDriverPort::Completed(Request& request, libusb_transfer& transfer) {
    request.completed = 1;
    request.transfer = nullptr;
    const auto [result, status] = OutcomeOf(transfer.status, transfer.actual_length, request);
    if (!request.abandoned) {
        request.result = result;
        DeliverIn(request, transfer.actual_length);
        WriteStatus(request.header, status);
    }
    // The controller may leave the bus before the request's status stage, so
    // a failed release is waited for as well.
    if (request.releasesController && transfer.status != LIBUSB_TRANSFER_CANCELLED) {
        const Connection* connection = Find(request.handle);
        if (connection != nullptr) {
            departure_ = Departure{connection->device.port, releasing_.value_or(std::set<Place>{}),
                                   std::chrono::steady_clock::now() +
                                       std::chrono::milliseconds(settings_.renumerationWaitMs)};
        }
    }
    libusb_free_transfer(&transfer);
}

void LibusbDriverPort::SweepAbandoned() {
    std::erase_if(abandoned_, [](const auto& request) { return request->completed != 0; });
}

void LibusbDriverPort::WaitForAbandoned(DriverHandle handle) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelCompletionMs);
    for (const auto& request : abandoned_) {
        if (request->handle == handle) {
            HandleEventsUntil(request->completed, deadline);
        }
    }
    SweepAbandoned();
}

bool LibusbDriverPort::HandleEventsUntil(const int& completed, std::optional<SteadyTime> deadline) {
    while (!completed) {
        auto slice = std::chrono::milliseconds(100);
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            slice = std::min(slice, left);
        }
        timeval tv{0, static_cast<suseconds_t>(slice.count() * 1000)};
        libusb_handle_events_timeout_completed(context_, &tv, const_cast<int*>(&completed));
    }
    return true;
}

bool LibusbDriverPort::WaitIoControl(RequestId id, std::optional<std::int64_t> timeoutMs) {
    const auto found = requests_.find(id);
    if (found == requests_.end()) {
        return true;
    }
    std::optional<SteadyTime> deadline;
    if (timeoutMs) {
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(*timeoutMs);
    }
    return HandleEventsUntil(found->second->completed, deadline);
}

IoResult LibusbDriverPort::FinishIoControl(RequestId id) {
    const auto found = requests_.find(id);
    if (found == requests_.end()) {
        return Failed(os_error::kInvalidParameter);
    }
    std::unique_ptr<Request> request = std::move(found->second);
    requests_.erase(found);
    if (request->completed) {
        return request->result;
    }
    // Given up: libusb still owns the transfer until its cancel comes back,
    // so the request stays (with its own buffer) but no longer touches the
    // caller's bytes.
    request->abandoned = true;
    libusb_cancel_transfer(request->transfer);
    abandoned_.push_back(std::move(request));
    return Failed(os_error::kIoIncomplete);
}

IoResult LibusbDriverPort::RunToCompletion(DriverHandle handle, std::unique_ptr<Request> request,
                                           std::int64_t timeoutMs) {
    const IoStart start = Submit(handle, std::move(request));
    if (start.error != os_error::kIoPending) {
        return Failed(start.error);
    }
    if (!WaitIoControl(start.request, timeoutMs)) {
        Request& pending = *requests_.at(start.request);
        libusb_cancel_transfer(pending.transfer);
        HandleEventsUntil(pending.completed, std::chrono::steady_clock::now() +
                                                 std::chrono::milliseconds(kCancelCompletionMs));
    }
    return FinishIoControl(start.request);
}

void LibusbDriverPort::CancelRequests(DriverHandle handle, std::optional<std::uint8_t> endpoint) {
    std::vector<Request*> cancelled;
    for (auto& [id, request] : requests_) {
        if (request->handle == handle && !request->completed &&
            (!endpoint || request->endpoint == *endpoint)) {
            libusb_cancel_transfer(request->transfer);
            cancelled.push_back(request.get());
        }
    }
    // The aborted requests complete before the abort does, as the driver's do.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelCompletionMs);
    for (Request* request : cancelled) {
        HandleEventsUntil(request->completed, deadline);
    }
}

}  // namespace orvik
