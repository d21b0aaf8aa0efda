// measure: the instrument seen from outside, started as the program starts it.
#include "cli/measure_command.h"

#include <fstream>
#include <iostream>
#include <memory>

#include "app/clock.h"
#include "app/operator_prompts.h"
#include "cli/json_writer.h"
#include "instrument/device_startup.h"
#include "instrument/recording_driver_port.h"
#include "simulator/simulated_driver_port.h"

namespace orvik::cli {
namespace {

// Messages go to standard error; questions get the answer that changes nothing.
class ConsolePrompts : public OperatorPrompts {
  public:
    void Message(const std::string& text, const std::string& caption, PromptIcon) override {
        std::cerr << (caption.empty() ? "Orvik" : caption) << ": " << text << '\n';
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> AskTraceName(const std::string& proposed) override {
        return proposed;
    }
    std::optional<std::string> AskCouponSerial() override { return std::string(); }
};

// This platform has no driver for the real instrument yet: nothing is found,
// exactly as when no instrument is plugged in.
class NoDevicesPort : public DriverPort {
  public:
    std::vector<std::string> EnumerateInterfaces(const Guid&) override { return {}; }
    OpenResult Open(const std::string&, OpenOptions) override {
        return {kInvalidDriverHandle, os_error::kFileNotFound};
    }
    std::uint32_t Close(DriverHandle) override { return os_error::kInvalidHandle; }
    IoResult IoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t>,
                       std::span<std::uint8_t>) override {
        return {false, 0, os_error::kInvalidHandle};
    }
    IoStart StartIoControl(DriverHandle, std::uint32_t, std::span<std::uint8_t>,
                           std::span<std::uint8_t>) override {
        return {os_error::kInvalidHandle, 0};
    }
    bool WaitIoControl(RequestId, std::optional<std::int64_t>) override { return true; }
    IoResult FinishIoControl(RequestId) override { return {false, 0, os_error::kInvalidHandle}; }
    std::string ErrorText(std::uint32_t) override { return "The device is not connected."; }
};

void WriteMode(JsonWriter& json, const char* name, const StoredModeCalibration& mode) {
    json.Key(name).BeginObject();
    json.Key("end_of_cable");
    mode.endOfCable ? json.Value(std::int64_t{*mode.endOfCable}) : json.Null();
    json.Key("divisor");
    mode.divisor ? json.Value(*mode.divisor) : json.Null();
    json.Key("calibration_constant");
    mode.calibrationConstant ? json.Value(*mode.calibrationConstant) : json.Null();
    json.Key("kernel_values");
    mode.kernel ? json.Value(static_cast<std::int64_t>(mode.kernel->size())) : json.Null();
    json.EndObject();
}

void WriteFindings(JsonWriter& json, const StartUpFindings& findings) {
    auto outcome = [&](const char* name, const std::optional<ImageLoadOutcome>& value) {
        json.Key(name);
        value ? json.Value(ImageLoadOutcomeText(*value)) : json.Null();
    };
    auto text = [&](const char* name, const std::optional<std::string>& value) {
        json.Key(name);
        value ? json.Value(*value) : json.Null();
    };
    json.BeginObject();
    json.Field("trigger_devices", std::int64_t{findings.triggerDevicesFound});
    json.Field("trigger_opened", findings.triggerOpened);
    json.Field("characterize", findings.characterizeMode);
    json.Field("instrument_found", findings.instrumentFound);
    json.Field("release_number", std::int64_t{findings.releaseNumber});
    outcome("program_image", findings.programImage);
    outcome("fpga_image", findings.fpgaImage);
    json.Field("calibrated", findings.stored.calibrated);
    WriteMode(json, "single_ended", findings.stored.singleEnded);
    WriteMode(json, "differential", findings.stored.differential);
    text("last_operator", findings.stored.lastOperator);
    text("last_date", findings.stored.lastDate);
    json.Key("notes").BeginArray();
    for (const std::string& note : findings.stored.notes) {
        json.Value(note);
    }
    json.EndArray();
    text("usb_error", findings.usbError);
    json.EndObject();
}

}  // namespace

MeasureOptions ParseMeasureOptions(const Arguments& arguments) {
    MeasureOptions options;
    ArgumentReader reader(arguments);
    while (!reader.Done()) {
        if (reader.Option("--simulate")) {
            options.simulate = true;
        } else if (reader.Option("--coupon")) {
            options.coupon = reader.Value();
        } else if (reader.Option("--mode")) {
            options.mode = reader.Value();
            if (options.mode != "single" && options.mode != "differential") {
                throw UsageError("--mode must be single or differential");
            }
        } else if (reader.Option("--criteria")) {
            options.criteriaFile = reader.Value();
        } else if (reader.Option("--criterion")) {
            options.criterionName = reader.Value();
        } else if (reader.Option("--sim-store")) {
            options.simStore = reader.Value();
        } else if (reader.Option("--io-log")) {
            options.ioLog = reader.Value();
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (options.criteriaFile.has_value() != options.criterionName.has_value()) {
        throw UsageError("--criteria and --criterion go together");
    }
    if (options.simStore && !options.simulate) {
        throw UsageError("--sim-store needs --simulate");
    }
    return options;
}

int RunMeasure(const Arguments& arguments) {
    const MeasureOptions options = ParseMeasureOptions(arguments);

    std::ofstream log;
    if (options.ioLog) {
        log.open(*options.ioLog, std::ios::trunc);
        if (!log) {
            throw CommandFailure("cannot write the I/O log " + *options.ioLog);
        }
    }
    // The simulated instrument needs no real pauses; a real one would.
    VirtualClock virtualClock;
    SystemClock systemClock;
    Clock& clock = options.simulate ? static_cast<Clock&>(virtualClock) : systemClock;

    std::unique_ptr<DriverPort> system;
    if (options.simulate) {
        sim::SimulatorOptions simulator;
        simulator.instrument.storePath = options.simStore.value_or("");
        system = std::make_unique<sim::SimulatedDriverPort>(clock, simulator);
    } else {
        system = std::make_unique<NoDevicesPort>();
    }
    RecordingDriverPort port(*system, options.ioLog ? &log : nullptr);
    ConsolePrompts prompts;

    // As in the main window: the device is opened once when it is made, and
    // start-up opens it again.
    CUsbDevice device(port, kInstrumentInterfaceGuid, true);
    CTriggerPort trigger(port, prompts);
    StartUpOptions startUp;
    startUp.imageFolder = ExecutableFolder();
    const StartUpFindings findings = RunDeviceStartUp(device, trigger, clock, prompts, startUp);

    if (!findings.instrumentFound) {
        throw CommandFailure("Unable to open the TDR device");
    }
    JsonWriter json;
    WriteFindings(json, findings);
    std::cout << json.Text() << '\n';
    throw CommandFailure(
        "the instrument started (findings above), but this build cannot measure yet");
}

}  // namespace orvik::cli
