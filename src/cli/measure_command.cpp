// measure: one test on the instrument seen from outside, started as the
// program starts it. On the simulated MV300 all pauses pass on a virtual
// clock. Like every acquisition it leaves the diagnostic dump TDR_Data.csv in
// the current directory.
#include "cli/measure_command.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

#include "base/clock.h"
#include "base/operator_prompts.h"
#include "cli/command_library.h"
#include "cli/devices_command.h"
#include "cli/json_writer.h"
#include "cli/results_commands.h"
#include "cli/simulated_command_instrument.h"
#include "collection/orvik_doc.h"
#include "collection/reference_mask.h"
#include "collection/trace_record.h"
#include "criteria/criteria_library.h"
#include "criteria/criterion.h"
#include "criteria/criterion_reference.h"
#include "instrument/image_folders.h"
#include "instrument/instrument_station.h"
#include "instrument/recording_driver_port.h"
#include "simulator/cable_attachment.h"
#include "simulator/coupon_profile.h"
#include "simulator/simulated_driver_port.h"
#include "usb/libusb_driver_port.h"

namespace orvik::cli {
namespace {

// The program's default criterion, in the mode asked for: 50 ohms
// single-ended or 100 ohms differential, +-10 %, judged from 4 to 7 inches.
Criterion DefaultCriterion(MeasurementMode mode) {
    Criterion criterion;
    if (IsDifferential(mode)) {
        criterion.DoubleEnded = 1;
        criterion.TargetImpedance = 100.0;
        criterion.RecomputeLimits();
    }
    return criterion;
}

// The named criterion of the library file; the mode given must agree with it.
Criterion NamedCriterion(const MeasureOptions& options) {
    CriteriaLibrary library;
    LoadCommandLibrary(library, *options.criteriaFile, MissingLibrary::Refused);
    for (const auto& criterion : library.Criteria) {
        if (criterion->Name != *options.criterionName) {
            continue;
        }
        if (options.mode && IsDifferential(*options.mode) != criterion->IsDifferential()) {
            throw UsageError("--mode disagrees with criterion " + ForTerminal(criterion->Name) +
                             ", which is " +
                             ModeName(ModeFromDifferential(criterion->IsDifferential())));
        }
        return *criterion;
    }
    throw CommandFailure("no criterion named " + ForTerminal(*options.criterionName) + " in " +
                         *options.criteriaFile);
}

}  // namespace

MeasureOptions ParseMeasureOptions(const Arguments& arguments) {
    MeasureOptions options;
    ArgumentReader reader(arguments);
    std::optional<std::string> simulated;
    while (!reader.Done()) {
        if (reader.Simulate(simulated)) {
            options.simulate = true;
        } else if (reader.Option("--coupon")) {
            options.coupon = reader.Value();
            if (const auto profile = sim::CouponProfile::Parse(*options.coupon); !profile) {
                throw UsageError("--coupon " + *options.coupon + ": " + profile.Error().Message);
            }
        } else if (reader.Option("--mode")) {
            options.mode = ParseModeOption(reader.Value());
        } else if (reader.Option("--criteria")) {
            options.criteriaFile = reader.Value();
        } else if (reader.Option("--criterion")) {
            options.criterionName = reader.Text();
        } else if (reader.Option("--sim-store")) {
            options.simStore = reader.Value();
        } else if (reader.Option("--io-log")) {
            options.ioLog = reader.Value();
        } else if (reader.Option("--usb-id")) {
            options.usbIds = reader.Value();
            UsbSettings checked;
            ApplyUsbIdOption(*options.usbIds, checked);
        } else if (reader.Option("--usb-serial")) {
            options.usbSerial = reader.Value();
        } else if (reader.Option("--results")) {
            options.results = reader.Value();
            (void)ResultsOption(*options.results);
        } else {
            throw UsageError("unexpected argument " + reader.Peek());
        }
    }
    TakeSimulatedCoupon(options.coupon, simulated);
    if (options.criteriaFile.has_value() != options.criterionName.has_value()) {
        throw UsageError("--criteria and --criterion go together");
    }
    if (options.simStore && !options.simulate) {
        throw UsageError("--sim-store needs --simulate");
    }
    if (options.coupon && !options.simulate) {
        throw UsageError("--coupon needs --simulate");
    }
    if ((options.usbIds || options.usbSerial) && options.simulate) {
        throw UsageError(std::string(options.usbIds ? "--usb-id" : "--usb-serial") +
                         " names a real instrument; --simulate uses the simulated one");
    }
    return options;
}

void WriteMeasurementJson(JsonWriter& json, const TraceRecord& record) {
    json.BeginObject();
    json.Field("average", record.Average)
        .Field("deviation", record.Deviation)
        .Field("maximum", record.Maximum)
        .Field("minimum", record.Minimum)
        .Field("passed", record.Passed);
    json.Key("samples").BeginArray();
    for (const TraceSample& sample : record.Samples) {
        json.BeginArray(true).Value(sample.Position).Value(sample.Impedance).EndArray();
    }
    json.EndArray();
    json.EndObject();
}

namespace {

// The test as a collection of one trace would file it, sent as the program sends it.
void StoreMeasurement(const TraceRecord& record, const results::ResultsLocation& location,
                      InstrumentStation& station, const StartUpFindings& findings) {
    CommandResults stored(location);
    stored.Station().SetInstrument(results::InstrumentOf(
        findings, station.Calibration().LastOperator(), station.Calibration().LastDate()));
    COrvikDoc single;
    const CollectionItem& filed = single.AppendItem(std::make_unique<TraceRecord>(record));
    stored.Station().TraceFiled(single, filed);
    stored.Finish();
}

}  // namespace

int RunMeasure(const Arguments& arguments) {
    const MeasureOptions options = ParseMeasureOptions(arguments);
    const Criterion criterion =
        options.criterionName
            ? NamedCriterion(options)
            : DefaultCriterion(options.mode.value_or(MeasurementMode::SingleEnded));

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

    std::unique_ptr<sim::SimulatedDriverPort> simulated;
    RealDriverPort real;
    if (options.simulate) {
        simulated = SimulatedCommandInstrument(clock, options.simStore, options.coupon);
    } else {
        UsbSettings usb = ProgramUsbSettings("measure");
        if (options.usbIds) {
            ApplyUsbIdOption(*options.usbIds, usb);
        }
        if (options.usbSerial) {
            usb.serial = *options.usbSerial;
        }
        real = OpenRealDriverPort(usb);
    }
    DriverPort& system = simulated ? static_cast<DriverPort&>(*simulated) : *real.port;
    RecordingDriverPort port(system, options.ioLog ? &log : nullptr);
    ConsolePrompts prompts;

    InstrumentStation station(port, clock, prompts);
    StartUpOptions startUp;
    startUp.commandLine = StationCommandLine("measure", Station::Operator);
    startUp.imageFolder =
        InstrumentImageFolder(simulated ? ImageSet::Simulator : ImageSet::Instrument);
    const StartUpFindings findings = station.StartUp(startUp);

    const MeasuredProfile profile = station.MeasureProfile(criterion.Mode());
    if (profile.StopLiveMode) {
        throw CommandFailure(prompts.messages.empty() ? "the instrument could not be used"
                                                      : prompts.messages.back());
    }
    TraceRecord record;
    record.FillFromAcquisition(&criterion, profile.Impedance, 0);
    // Judged as the program judges it: against the criterion's reference
    // curve too, when the library has one beside it.
    std::optional<Failure> referenceDamage;
    if (options.criteriaFile) {
        ReferenceFileLoad references = LoadReferenceFile(ReferenceFilePath(*options.criteriaFile));
        referenceDamage = std::move(references.Damage);
        JudgeAgainstReference(record, references.References);
    }
    if (options.results) {
        StoreMeasurement(record, ResultsOption(*options.results), station, findings);
    }

    if (simulated && !simulated->Instrument().Store().LastSaveSucceeded()) {
        throw CommandFailure("--sim-store: " + simulated->Instrument().Store().Problem());
    }
    if (log.is_open() && !log.flush()) {
        throw CommandFailure("cannot write the I/O log " + *options.ioLog);
    }
    JsonWriter json;
    WriteMeasurementJson(json, record);
    std::cout << json.Text() << '\n';
    if (referenceDamage) {
        std::cerr << "orvik-cli measure: note: " << referenceDamage->Message << " "
                  << referenceDamage->Detail << '\n';
    }
    if (record.OutsideReferenceMask) {
        std::cerr << "orvik-cli measure: note: outside reference mask\n";
    }
    for (const std::string& note : findings.stored.notes) {
        std::cerr << "orvik-cli measure: note: " << note << '\n';
    }
    for (const std::string& message : prompts.messages) {
        std::cerr << "orvik-cli measure: note: " << message << '\n';
    }
    return 0;
}

}  // namespace orvik::cli
