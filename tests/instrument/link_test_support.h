#pragma once

// A simulated instrument behind a recording driver port, scripted operator
// prompts and helpers to pick requests out of the recording.
#include <cstdint>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/operator_prompts.h"
#include "instrument/acquisition.h"
#include "instrument/recording_driver_port.h"
#include "instrument/transfer_header.h"
#include "instrument/trigger_port.h"
#include "simulator/factory_calibration.h"
#include "simulator/physics_factory.h"
#include "simulator/simulated_driver_port.h"
#include "test_bytes.h"

namespace orvik::testing {

struct ShownMessage {
    std::string text;
    std::string caption;
    PromptIcon icon;
};

class RecordingPrompts : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string& caption, PromptIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return std::string(); }

    std::vector<ShownMessage> messages;
};

struct SimulatedStation {
    explicit SimulatedStation(sim::SimulatorOptions options = {})
        : sim(clock, std::move(options)), port(sim) {}

    VirtualClock clock;
    sim::SimulatedDriverPort sim;
    RecordingDriverPort port;
    RecordingPrompts prompts;
};

// What a fresh simulated store holds, value by value.
struct FactoryStore {
    int endOfCableSingle;
    int endOfCableDifferential;
    double divisorSingle;
    double divisorDifferential;
    double constantSingle;
    double constantDifferential;
    std::string lastOperator;
    std::string lastDate;
};

inline FactoryStore Factory() {
    const sim::PhysicsFactory& single = sim::PhysicsFactoryValues(MeasurementMode::SingleEnded);
    const sim::PhysicsFactory& pair = sim::PhysicsFactoryValues(MeasurementMode::Differential);
    return {single.EndOfCable,
            pair.EndOfCable,
            single.Divisor,
            pair.Divisor,
            single.CalibrationConstant,
            pair.CalibrationConstant,
            sim::kFactoryOperator,
            sim::kFactoryDate};
}

inline sim::SimulatorOptions WarmInstrument() {
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    return options;
}

inline sim::SimulatorOptions WithDriverVersion(std::uint32_t version) {
    sim::SimulatorOptions options = WarmInstrument();
    options.driverVersion = version;
    return options;
}

// The register set-up of an acquisition with its pauses, on the open device:
// the instrument's sampler gives blocks only after it.
inline void SetUpForBlocks(InstrumentLink& link, Clock& clock, MeasurementMode mode) {
    for (const RegisterStep& step : AcquisitionRegisterSteps(mode)) {
        link.RegisterWrite(step.value);
        clock.SleepMs(step.pauseAfterMs);
    }
}

inline std::vector<RecordedCall> RequestsWithCode(const RecordingDriverPort& port,
                                                  std::uint32_t code) {
    std::vector<RecordedCall> found;
    for (const RecordedCall& call : port.Requests()) {
        if (call.code == code) {
            found.push_back(call);
        }
    }
    return found;
}

inline std::vector<std::uint32_t> RequestCodes(const RecordingDriverPort& port) {
    std::vector<std::uint32_t> codes;
    for (const RecordedCall& call : port.Requests()) {
        codes.push_back(call.code);
    }
    return codes;
}

// The transfer header, field by field in the order and widths of its layout.
inline ByteBuilder Header(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                          std::uint16_t index, std::uint16_t length, std::uint32_t timeoutSeconds,
                          std::uint8_t endpoint, std::uint32_t tableOffset,
                          std::uint32_t tableLength, std::uint32_t dataOffset,
                          std::uint32_t dataLength) {
    ByteBuilder bytes;
    bytes.U8(requestType).U8(request).U16(value).U16(index).U16(length);
    bytes.I32(static_cast<std::int32_t>(timeoutSeconds));
    bytes.U8(0);          // flag
    bytes.U8(endpoint);   // endpoint address
    bytes.I32(0).I32(0);  // status words A and B
    bytes.I32(static_cast<std::int32_t>(tableOffset)).I32(static_cast<std::int32_t>(tableLength));
    bytes.I32(static_cast<std::int32_t>(dataOffset)).I32(static_cast<std::int32_t>(dataLength));
    return bytes;
}

// A pipe request's header: everything zero but the endpoint and the data fields.
inline ByteBuilder PipeHeader(std::uint8_t endpoint, std::uint32_t dataOffset,
                              std::uint32_t dataLength) {
    return Header(0, 0, 0, 0, 0, 0, endpoint, 0, 0, dataOffset, dataLength);
}

// The command packet a pipe request carries, whatever its form.
inline std::vector<std::uint8_t> CarriedData(const RecordedCall& call) {
    if (call.code == usb_request::kDirectTransfer) {
        return call.output;
    }
    const std::uint32_t offset = TransferHeader::ReadFrom(call.input).dataOffset;
    if (offset > call.input.size()) {
        return {};
    }
    return std::vector<std::uint8_t>(call.input.begin() + offset, call.input.end());
}

// The data a pipe request brought back, whatever its form.
inline std::vector<std::uint8_t> ReceivedData(const RecordedCall& call) {
    if (call.code == usb_request::kDirectTransfer) {
        return call.output;
    }
    const std::uint32_t offset = TransferHeader::ReadFrom(call.output).dataOffset;
    if (offset > call.output.size()) {
        return {};
    }
    return std::vector<std::uint8_t>(call.output.begin() + offset, call.output.end());
}

inline std::uint8_t RequestEndpoint(const RecordedCall& call) {
    return call.input.size() >= TransferHeader::kSize ? call.input[13] : 0;
}

// Commands written to the command pipe, in order (first byte of each).
inline std::vector<std::uint8_t> CommandsSent(const RecordingDriverPort& port) {
    std::vector<std::uint8_t> codes;
    for (const RecordedCall& call : port.Requests()) {
        if ((call.code == usb_request::kBufferedTransfer ||
             call.code == usb_request::kDirectTransfer) &&
            RequestEndpoint(call) == sim::SimulatedMv300::kCommandOut) {
            const auto data = CarriedData(call);
            codes.push_back(data.empty() ? 0 : data[0]);
        }
    }
    return codes;
}

class TriggerRecorder : public TriggerPortListener {
  public:
    void StopTriggerPoll() override { events.push_back("stop"); }
    void TriggerRunTest() override { events.push_back("run"); }
    void TriggerRecordTest() override { events.push_back("record"); }
    std::vector<std::string> events;
};

}  // namespace orvik::testing
