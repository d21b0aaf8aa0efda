// devices: which MV300s are attached, for checking a bench from outside.
#include "cli/devices_command.h"

#include <iostream>

#include "cli/json_writer.h"
#include "usb/libusb_driver_port.h"
#include "usb/usb_settings_file.h"

namespace orvik::cli {

UsbSettings ProgramUsbSettings(const std::string& command) {
    UsbSettings settings;
    const std::filesystem::path file = ProgramSettingsFile();
    for (const std::string& note : ApplyUsbSettingsFile(file, settings)) {
        std::cerr << "orvik-cli " << command << ": note: " << file.string() << ": " << note
                  << " (the default stays)\n";
    }
    return settings;
}

void ApplyUsbIdOption(const std::string& value, UsbSettings& settings) {
    if (const Result<void> applied = ApplyInstrumentIds(value, settings); !applied) {
        throw UsageError("--usb-id: " + applied.Error().Message);
    }
}

int RunDevices(const Arguments& arguments) {
    UsbSettings settings = ProgramUsbSettings("devices");
    ArgumentReader reader(arguments);
    while (!reader.Done()) {
        if (reader.Option("--usb-id")) {
            ApplyUsbIdOption(reader.Value(), settings);
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    const RealDriverPort real = OpenRealDriverPort(settings);
    JsonWriter json;
    json.BeginArray();
    if (real.usb != nullptr) {
        for (const AttachedInstrument& instrument : real.usb->Instruments()) {
            json.BeginObject()
                .Field("bus", std::int64_t{instrument.bus})
                .Field("address", std::int64_t{instrument.address});
            if (instrument.port.empty()) {
                json.Key("port").Null();
            } else {
                json.Field("port", instrument.port);
            }
            if (instrument.serial.empty()) {
                json.Key("serial").Null();
            } else {
                json.Field("serial", instrument.serial);
            }
            json.Field("firmware", instrument.programRunning ? "running" : "not loaded")
                .Field("usb_id", instrument.id.ToString())
                .Field("access", DeviceAccessName(instrument.access))
                .EndObject();
        }
    }
    json.EndArray();
    std::cout << json.Text() << '\n';
    if (!real.problem.empty()) {
        std::cerr << "orvik-cli devices: note: " << real.problem << '\n';
    }
    return 0;
}

}  // namespace orvik::cli
