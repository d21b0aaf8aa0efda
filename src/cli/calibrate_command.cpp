// calibrate: a characterisation station or an operator's bench calibration
// without the window. On the simulated MV300 every pause passes on a virtual
// clock; each acquisition leaves TDR_Data.csv in the current directory.
#include "cli/calibrate_command.h"

#include <iostream>
#include <memory>

#include "base/clock.h"
#include "cli/json_writer.h"
#include "cli/simulated_command_instrument.h"
#include "instrument/calibration_save.h"
#include "instrument/calibration_session.h"
#include "instrument/image_folders.h"
#include "instrument/instrument_station.h"
#include "instrument/no_devices_port.h"
#include "simulator/cable_attachment.h"

namespace orvik::cli {
namespace {

AirlineArgument ParseAirline(const std::string& text, const char* option) {
    const std::size_t at = text.find('@');
    if (at == std::string::npos) {
        throw UsageError(std::string(option) + " must be Z@LENGTH (ohms@inches): " + text);
    }
    return {ParseDouble(text.substr(0, at), option), ParseDouble(text.substr(at + 1), option)};
}

void WriteValues(JsonWriter& json, const CalibrationSet& calibration) {
    constexpr MeasurementMode kSingle = MeasurementMode::SingleEnded;
    constexpr MeasurementMode kPair = MeasurementMode::Differential;
    json.BeginObject();
    json.Field("end_of_cable_single", calibration.EndOfCable(kSingle))
        .Field("end_of_cable_differential", calibration.EndOfCable(kPair))
        .Field("divisor_single", calibration.Divisor(kSingle))
        .Field("divisor_differential", calibration.Divisor(kPair))
        .Field("constant_single", calibration.CalibrationConstant(kSingle))
        .Field("constant_differential", calibration.CalibrationConstant(kPair))
        .Field("last_operator", calibration.LastOperator())
        .Field("last_date", calibration.LastDate());
    json.EndObject();
}

// One line on standard error: the operator's message with its line breaks
// as spaces.
[[noreturn]] void Fail(const Failure& failure) {
    std::string line = failure.Message;
    for (char& c : line) {
        if (c == '\n') {
            c = ' ';
        }
    }
    throw CommandFailure(line);
}

void AttachAirline(sim::SimulatedDriverPort* simulated, MeasurementMode mode,
                   const AirlineArgument& airline) {
    if (simulated) {
        simulated->Instrument().Attach(
            mode, sim::CableAttachment::TerminatedAirline(airline.Ohms, airline.Inches));
    }
}

}  // namespace

CalibrateOptions ParseCalibrateOptions(const Arguments& arguments) {
    CalibrateOptions options;
    ArgumentReader reader(arguments);
    while (!reader.Done()) {
        if (reader.Simulate(options.coupon)) {
            options.simulate = true;
        } else if (reader.Option("--sim-store")) {
            options.simStore = reader.Value();
        } else if (reader.Option("--mode")) {
            options.mode = ParseModeOption(reader.Value());
        } else if (reader.Flag("--characterize")) {
            options.characterize = true;
        } else if (reader.Flag("--reset")) {
            options.reset = true;
        } else if (reader.Option("--airline")) {
            options.airlines.push_back(ParseAirline(reader.Value(), "--airline"));
        } else if (reader.Option("--verify")) {
            options.verify = ParseAirline(reader.Value(), "--verify");
        } else if (reader.Option("--operator")) {
            options.operatorName = reader.Text();
        } else if (reader.Flag("--save")) {
            options.save = true;
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    if (options.simStore && !options.simulate) {
        throw UsageError("--sim-store needs --simulate");
    }
    if (options.reset && !options.characterize) {
        throw UsageError("--reset needs --characterize");
    }
    return options;
}

int RunCalibrate(const Arguments& arguments) {
    const CalibrateOptions options = ParseCalibrateOptions(arguments);
    VirtualClock virtualClock;
    SystemClock systemClock;
    Clock& clock = options.simulate ? static_cast<Clock&>(virtualClock) : systemClock;
    std::unique_ptr<sim::SimulatedDriverPort> simulated;
    NoDevicesPort nothing;
    if (options.simulate) {
        simulated = SimulatedCommandInstrument(clock, options.simStore, options.coupon);
    }
    DriverPort& port = simulated ? static_cast<DriverPort&>(*simulated) : nothing;
    ConsolePrompts prompts;

    InstrumentStation station(port, clock, prompts);
    StartUpOptions startUp;
    // The station's switch is --characterize alone: no other argument, an
    // operator's name among them, may turn it on.
    startUp.commandLine = StationCommandLine(
        "calibrate", options.characterize ? Station::Characterisation : Station::Operator);
    startUp.imageFolder =
        InstrumentImageFolder(simulated ? ImageSet::Simulator : ImageSet::Instrument);
    station.StartUp(startUp);
    const CalibrationSet before = station.Calibration();

    CalibrationSession session(station);
    session.SelectMode(options.mode);
    if (options.reset) {
        if (Status reset = session.Reset(); !reset) {
            Fail(reset.Error());
        }
    }
    std::vector<CalibrateReport> calibrations;
    for (const AirlineArgument& airline : options.airlines) {
        AttachAirline(simulated.get(), options.mode, airline);
        auto report = session.Calibrate(airline.Inches, airline.Ohms);
        if (!report) {
            Fail(report.Error());
        }
        if (*report) {
            calibrations.push_back(**report);
        }
    }
    std::optional<double> verified;
    if (options.verify) {
        AttachAirline(simulated.get(), options.mode, *options.verify);
        const Result<double> measured = session.Verify(options.verify->Inches);
        if (!measured) {
            Fail(measured.Error());
        }
        verified = *measured;
    }
    if (options.save) {
        const Status saved = SaveCalibration(station.Link(), station.Calibration(),
                                             options.operatorName, CurrentCalibrationDateText());
        if (!saved) {
            Fail(saved.Error());
        }
    }
    if (simulated && !simulated->Instrument().Store().LastSaveSucceeded()) {
        throw CommandFailure("--sim-store: " + simulated->Instrument().Store().Problem());
    }

    JsonWriter json;
    json.BeginObject();
    json.Key("before");
    WriteValues(json, before);
    json.Key("after");
    WriteValues(json, station.Calibration());
    json.Key("calibrations").BeginArray();
    for (const CalibrateReport& report : calibrations) {
        json.BeginObject()
            .Field("known", report.Point.KnownImpedance)
            .Field("measured", report.Measured)
            .Field("constant", report.Constant)
            .EndObject();
    }
    json.EndArray();
    json.Key("verified");
    if (verified) {
        json.Value(*verified);
    } else {
        json.Null();
    }
    json.EndObject();
    std::cout << json.Text() << '\n';
    return 0;
}

}  // namespace orvik::cli
