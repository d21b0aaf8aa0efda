#include "simulator/simulated_driver_port.h"

#include <algorithm>

#include "instrument/transfer_header.h"
#include "instrument/trigger_port.h"

namespace orvik::sim {
namespace {

constexpr std::int64_t kDefaultControlTimeoutMs = 5000;
// What waiting without a time-out for a request that never completes costs:
// the clock shows the program hanging.
constexpr std::int64_t kForeverMs = std::int64_t{24} * 60 * 60 * 1000;

std::string LowerGuid(const Guid& guid) {
    std::string text = guid.ToString();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void WriteStatus(std::span<std::uint8_t> header, std::uint32_t statusA, std::uint32_t statusB) {
    WriteU32(header, TransferHeader::kStatusAOffset, statusA);
    WriteU32(header, TransferHeader::kStatusBOffset, statusB);
}

IoResult Failure(std::uint32_t error) {
    return IoResult{false, 0, error};
}

}  // namespace

SimulatedDriverPort::SimulatedDriverPort(Clock& clock, SimulatorOptions options)
    : clock_(clock),
      options_(std::move(options)),
      instrument_(options_.instrument, &clock),
      instrumentPresent_(options_.instrumentPresent),
      triggerPresent_(options_.triggerPortPresent) {}

std::string SimulatedDriverPort::InstrumentPath() {
    return "\\\\?\\usb#vid_2f4e&pid_0300#sim0300001#" + LowerGuid(kInstrumentInterfaceGuid);
}

std::string SimulatedDriverPort::TriggerPath() {
    return "\\\\?\\usb#vid_2f4e&pid_0301#trig000001#" + LowerGuid(kTriggerInterfaceGuid);
}

void SimulatedDriverPort::ComeBackWhenDue() {
    if (Returned()) {
        instrumentPresent_ = true;
        returnAtMs_.reset();
    }
}

std::vector<std::string> SimulatedDriverPort::EnumerateInterfaces(const Guid& guid) {
    ComeBackWhenDue();
    if (guid == kInstrumentInterfaceGuid && instrumentPresent_) {
        return {InstrumentPath()};
    }
    if (guid == kTriggerInterfaceGuid && triggerPresent_) {
        return {TriggerPath()};
    }
    return {};
}

OpenResult SimulatedDriverPort::Open(const std::string& path, OpenOptions options) {
    ComeBackWhenDue();
    if (path == InstrumentPath() && instrumentPresent_) {
        const DriverHandle handle = nextHandle_++;
        handles_[handle] = Handle{Device::Instrument, connection_};
        return {handle, os_error::kSuccess};
    }
    if (path == TriggerPath() && triggerPresent_) {
        const bool alreadyOpen = std::any_of(handles_.begin(), handles_.end(), [](const auto& h) {
            return h.second.device == Device::Trigger;
        });
        if (alreadyOpen && !options.shared) {
            return {kInvalidDriverHandle, os_error::kSharingViolation};
        }
        const DriverHandle handle = nextHandle_++;
        handles_[handle] = Handle{Device::Trigger, connection_};
        return {handle, os_error::kSuccess};
    }
    return {kInvalidDriverHandle, os_error::kFileNotFound};
}

std::uint32_t SimulatedDriverPort::Close(DriverHandle handle) {
    if (handles_.erase(handle) == 0) {
        return os_error::kInvalidHandle;
    }
    // Closing a handle ends whatever still runs on it.
    for (auto& [id, pending] : pending_) {
        if (pending.handle == handle && !pending.complete) {
            pending.complete = true;
            pending.result = Failure(os_error::kOperationAborted);
        }
    }
    if (failCloseAt_ && *failCloseAt_ == ++closes_) {
        failCloseAt_.reset();
        return os_error::kInvalidHandle;
    }
    return os_error::kSuccess;
}

bool SimulatedDriverPort::HandleAlive(const Handle& handle) const {
    if (handle.device == Device::Trigger) {
        return triggerPresent_;
    }
    return instrumentPresent_ && handle.connection == connection_;
}

IoResult SimulatedDriverPort::IoControl(DriverHandle handle, std::uint32_t code,
                                        std::span<std::uint8_t> input,
                                        std::span<std::uint8_t> output) {
    Outcome outcome = Dispatch(handle, code, input, output);
    if (outcome.waits) {
        // Nobody can abort a synchronous request: the driver gives up after
        // the request's own time-out.
        const std::uint32_t seconds = TransferHeader::ReadFrom(input).timeoutSeconds;
        clock_.SleepMs(seconds > 0 ? std::int64_t{seconds} * 1000 : kDefaultControlTimeoutMs);
        WriteStatus(input, driver_status::kTimeout, 0);
        return Failure(os_error::kSemaphoreTimeout);
    }
    return outcome.result;
}

IoStart SimulatedDriverPort::StartIoControl(DriverHandle handle, std::uint32_t code,
                                            std::span<std::uint8_t> input,
                                            std::span<std::uint8_t> output) {
    Outcome outcome = Dispatch(handle, code, input, output);
    if (outcome.rejected) {
        return IoStart{outcome.result.error, 0};
    }
    const RequestId id = nextRequest_++;
    Pending pending;
    pending.handle = handle;
    pending.endpoint = outcome.endpoint;
    pending.complete = !outcome.waits;
    pending.result = outcome.result;
    pending.stuck = outcome.stuck;
    pending.header = input.first(std::min<std::size_t>(input.size(), TransferHeader::kSize));
    pending_[id] = pending;
    return IoStart{os_error::kIoPending, id};
}

bool SimulatedDriverPort::WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) {
    const auto found = pending_.find(request);
    if (found == pending_.end() || found->second.complete) {
        return true;
    }
    // Nothing completes a request while its caller waits here. Without a
    // time-out a real wait would last for ever: the clock says so, and the
    // simulated one gives up.
    clock_.SleepMs(timeoutMs ? *timeoutMs : kForeverMs);
    return false;
}

IoResult SimulatedDriverPort::FinishIoControl(RequestId request) {
    const auto found = pending_.find(request);
    if (found == pending_.end()) {
        return Failure(os_error::kInvalidParameter);
    }
    const IoResult result =
        found->second.complete ? found->second.result : Failure(os_error::kIoIncomplete);
    pending_.erase(found);
    return result;
}

std::string SimulatedDriverPort::ErrorText(std::uint32_t error) {
    return SystemErrorText(error);
}

void SimulatedDriverPort::Unplug() {
    instrumentPresent_ = false;
    returnAtMs_.reset();
    EndInstrumentRequests();
}

void SimulatedDriverPort::LeaveBusForNewProgram() {
    // The handles of the old connection are dead; the running instrument
    // comes back on a new one.
    EndInstrumentRequests();
    instrumentPresent_ = false;
    ++connection_;
    returnAtMs_ = clock_.NowMs() + options_.renumerationDelayMs;
}

void SimulatedDriverPort::EndInstrumentRequests() {
    for (auto& [id, pending] : pending_) {
        const auto handle = handles_.find(pending.handle);
        if (!pending.complete && handle != handles_.end() &&
            handle->second.device == Device::Instrument) {
            pending.complete = true;
            pending.result = Failure(os_error::kDeviceNotConnected);
            WriteStatus(pending.header, driver_status::kDeviceGone, 0);
        }
    }
}

void SimulatedDriverPort::PlugIn() {
    if (instrumentPresent_ || returnAtMs_) {
        return;  // there already, or coming back by itself
    }
    instrumentPresent_ = true;
    ++connection_;
    instrument_.PowerCycle();
}

void SimulatedDriverPort::ShortenReplies(std::uint8_t endpoint,
                                         std::optional<std::uint32_t> length) {
    if (length) {
        shortReplies_[endpoint] = *length;
    } else {
        shortReplies_.erase(endpoint);
    }
}

void SimulatedDriverPort::ClearFaults() {
    faults_.clear();
    shortReplies_.clear();
    failCloseAt_.reset();
}

bool SimulatedDriverPort::InputPressed(int input) const {
    return input >= 1 && input <= 2 && inputs_[static_cast<std::size_t>(input - 1)];
}

void SimulatedDriverPort::SetInput(int input, bool pressed) {
    if (input >= 1 && input <= 2) {
        inputs_[static_cast<std::size_t>(input - 1)] = pressed;
    }
}

std::optional<TransferFault> SimulatedDriverPort::TakeFault(int transfer) {
    const auto found = std::find_if(faults_.begin(), faults_.end(),
                                    [&](const TransferFault& f) { return f.transfer == transfer; });
    if (found == faults_.end()) {
        return std::nullopt;
    }
    const TransferFault fault = *found;
    faults_.erase(found);
    return fault;
}

void SimulatedDriverPort::AbortEndpoint(DriverHandle handle, std::uint8_t endpoint) {
    for (auto& [id, pending] : pending_) {
        if (pending.handle == handle && pending.endpoint == endpoint && !pending.complete &&
            !pending.stuck) {
            pending.complete = true;
            pending.result = Failure(os_error::kOperationAborted);
            WriteStatus(pending.header, driver_status::kCanceled, 0);
        }
    }
}

SimulatedDriverPort::Outcome SimulatedDriverPort::Dispatch(DriverHandle handle, std::uint32_t code,
                                                           std::span<std::uint8_t> input,
                                                           std::span<std::uint8_t> output) {
    ComeBackWhenDue();
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return {Failure(os_error::kInvalidHandle), false, 0, true};
    }
    if (!HandleAlive(found->second)) {
        if (input.size() >= TransferHeader::kSize) {
            WriteStatus(input, driver_status::kDeviceGone, 0);
        }
        return {Failure(os_error::kDeviceNotConnected), false, 0, true};
    }
    Outcome outcome = found->second.device == Device::Trigger
                          ? TriggerRequest(code, input, output)
                          : InstrumentRequest(code, input, output);
    return outcome;
}

SimulatedDriverPort::Outcome SimulatedDriverPort::TriggerRequest(std::uint32_t code,
                                                                 std::span<std::uint8_t> input,
                                                                 std::span<std::uint8_t> output) {
    if (code != CTriggerPort::kTriggerRequest) {
        return {Failure(os_error::kInvalidFunction), false, 0, true};
    }
    if (input.size() < 8 || output.size() < 8) {
        return {Failure(os_error::kInvalidParameter), false, 0, true};
    }
    ++triggerRequests_;
    if (failTrigger_) {
        return {Failure(os_error::kGeneralFailure)};
    }
    if (output.data() != input.data()) {
        std::copy_n(input.begin(), 8, output.begin());
    }
    // A set bit is an idle input.
    output[0] = static_cast<std::uint8_t>((inputs_[0] ? 0 : 1) | (inputs_[1] ? 0 : 2));
    return {IoResult{true, 8, os_error::kSuccess}};
}

SimulatedDriverPort::Outcome SimulatedDriverPort::InstrumentRequest(
    std::uint32_t code, std::span<std::uint8_t> input, std::span<std::uint8_t> output) {
    auto answerWord = [&](std::uint32_t value, std::size_t size) -> Outcome {
        if (output.size() < size) {
            return {Failure(os_error::kInsufficientBuffer), false, 0, true};
        }
        for (std::size_t i = 0; i < size; ++i) {
            output[i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return {IoResult{true, static_cast<std::uint32_t>(size), os_error::kSuccess}};
    };
    auto answerText = [&](const std::string& text) -> Outcome {
        if (output.size() < text.size() + 1) {
            return {Failure(os_error::kInsufficientBuffer), false, 0, true};
        }
        std::fill(output.begin(), output.end(), 0);
        std::copy(text.begin(), text.end(), output.begin());
        return {IoResult{true, static_cast<std::uint32_t>(text.size() + 1), os_error::kSuccess}};
    };
    switch (code) {
        case usb_request::kDriverVersion:
            return answerWord(options_.driverVersion, 4);
        case usb_request::kSecondVersionWord:
            return answerWord(options_.secondVersionWord, 4);
        case usb_request::kAlternateSetting:
            return answerWord(options_.alternateSetting, 1);
        case usb_request::kAttributeByte:
            return answerWord(options_.attributeByte, 1);
        case usb_request::kFirstDriverString:
            return answerText("Orvik simulated MV300 driver");
        case usb_request::kSecondDriverString:
            return answerText("built with the program");
        case usb_request::kControlTransfer:
        case usb_request::kBufferedTransfer:
        case usb_request::kDirectTransfer:
            return Transfer(code, input, output);
        case usb_request::kAbortPipe:
        case usb_request::kResetPipe:
            return PipeRequest(code, input);
        default:
            // Whatever the buffer is, a header-sized one reports the refusal.
            if (input.size() >= TransferHeader::kSize) {
                WriteStatus(input, driver_status::kInvalidParameter, os_error::kInvalidFunction);
            }
            return {Failure(os_error::kInvalidFunction), false, 0, true};
    }
}

SimulatedDriverPort::Outcome SimulatedDriverPort::PipeRequest(std::uint32_t code,
                                                              std::span<std::uint8_t> input) {
    if (input.empty()) {
        return {Failure(os_error::kInvalidParameter), false, 0, true};
    }
    const std::uint8_t endpoint = input[0];
    if (endpoint != 0 && !instrument_.HasEndpoint(endpoint)) {
        return {Failure(os_error::kInvalidParameter), false, 0, true};
    }
    for (const auto& [handle, info] : handles_) {
        if (code == usb_request::kAbortPipe && info.device == Device::Instrument) {
            AbortEndpoint(handle, endpoint);
        }
    }
    if (code == usb_request::kAbortPipe) {
        instrument_.AbortPipe(endpoint);
    } else {
        instrument_.ResetPipe(endpoint);
    }
    return {IoResult{true, 0, os_error::kSuccess}};
}

SimulatedDriverPort::Outcome SimulatedDriverPort::Transfer(std::uint32_t code,
                                                           std::span<std::uint8_t> input,
                                                           std::span<std::uint8_t> output) {
    auto malformed = [&]() -> Outcome {
        WriteStatus(input, driver_status::kInvalidParameter, os_error::kInvalidParameter);
        return {Failure(os_error::kInvalidParameter), false, 0, true};
    };
    if (input.size() < TransferHeader::kSize) {
        return malformed();
    }
    const TransferHeader header = TransferHeader::ReadFrom(input);
    const bool control = code == usb_request::kControlTransfer;
    const bool direct = code == usb_request::kDirectTransfer;
    const std::uint8_t endpoint = header.endpointAddress;
    const std::size_t dataEnd = std::size_t{header.dataOffset} + header.dataLength;
    if (header.packetTableLength != 0 || header.flag != 0) {
        return malformed();  // the instrument has no isochronous endpoints
    }
    if (control &&
        (endpoint != 0 || header.dataOffset != TransferHeader::kSize ||
         header.dataLength != header.length || dataEnd > input.size() || dataEnd > output.size())) {
        return malformed();
    }
    if (!control && (endpoint == 0 || !instrument_.HasEndpoint(endpoint))) {
        return malformed();
    }
    if (direct && (header.dataOffset != 0 || header.dataLength != 0)) {
        return malformed();
    }
    if (code == usb_request::kBufferedTransfer &&
        (header.dataOffset != TransferHeader::kSize || dataEnd > input.size() ||
         dataEnd > output.size())) {
        return malformed();
    }

    const std::optional<TransferFault> fault = TakeFault(++transferCount_);
    const bool deviceToHost = control ? (header.requestType & 0x80) != 0 : (endpoint & 0x80) != 0;
    std::size_t shortLength = SIZE_MAX;
    if (fault) {
        switch (fault->kind) {
            case TransferFault::Kind::Fail:
                WriteStatus(input, driver_status::kNotResponding, os_error::kGeneralFailure);
                return {Failure(os_error::kGeneralFailure), false, endpoint};
            case TransferFault::Kind::TimeOut:
                return {Failure(os_error::kSemaphoreTimeout), true, endpoint};
            case TransferFault::Kind::Stuck:
                return {Failure(os_error::kSemaphoreTimeout), true, endpoint, false, true};
            case TransferFault::Kind::Disconnect:
                Unplug();
                WriteStatus(input, driver_status::kDeviceGone, 0);
                return {Failure(os_error::kDeviceNotConnected), false, endpoint};
            case TransferFault::Kind::ShortReply:
                shortLength = fault->shortLength;
                break;
        }
    }
    if (const auto shortened = shortReplies_.find(endpoint); shortened != shortReplies_.end()) {
        shortLength = std::min<std::size_t>(shortLength, shortened->second);
    }

    std::span<std::uint8_t> data =
        direct ? output : output.subspan(header.dataOffset, header.dataLength);
    if (deviceToHost) {
        data = data.first(std::min(data.size(), shortLength));
    } else if (!direct) {
        data = input.subspan(header.dataOffset, header.dataLength);
    }
    DeviceAnswer answer;
    if (control) {
        const SetupPacket setup{header.requestType, header.request, header.value, header.index,
                                header.length};
        answer = instrument_.Control(setup, data);
        if (instrument_.TakeRenumeration()) {
            LeaveBusForNewProgram();
        }
    } else if (deviceToHost) {
        answer = instrument_.PipeIn(endpoint, data);
    } else {
        answer = instrument_.PipeOut(endpoint, data);
    }
    switch (answer.kind) {
        case DeviceAnswer::Kind::Done:
            WriteStatus(input, 0, 0);
            return {IoResult{true, header.dataOffset + answer.bytes, os_error::kSuccess}, false,
                    endpoint};
        case DeviceAnswer::Kind::Stall:
            WriteStatus(input, driver_status::kStall, 0);
            return {Failure(os_error::kGeneralFailure), false, endpoint};
        case DeviceAnswer::Kind::Nak:
            break;
    }
    return {Failure(os_error::kSemaphoreTimeout), true, endpoint};
}

}  // namespace orvik::sim
