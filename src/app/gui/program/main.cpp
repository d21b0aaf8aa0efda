// orvik: the operator's program for the MV300.
//
//   orvik [FILE.tdr ...] [Characterize] [--simulate[=PROFILE]] [--sim-store FILE] [--log FILE]
//         [--io-log FILE] [--usb-id VID:PID[,VID:PID]] [--usb-serial SERIAL]
//         [--results URL]
//
// --simulate runs on the built-in simulated MV300 (with PROFILE, a coupon
// given as 50 or Z@FROM-TO,... in inches, on both cables); --sim-store keeps
// the simulated instrument's store in FILE so that calibration survives;
// --log appends the diagnostic log to FILE; --io-log writes every driver
// request to FILE; --usb-id names the real instrument's USB ids and
// --usb-serial the instrument to use among several for this run (the [usb]
// settings otherwise); --results names the results database for this run;
// --help and --version answer on the terminal and need no display.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include "app/gui/main_frame.h"
#include "base/c_numbers.h"
#include "base/diagnostic_log.h"
#include "base/file_store.h"
#include "base/measurement_mode.h"
#include "instrument/recording_driver_port.h"
#include "journal/recovery_journal.h"
#include "results/results_location.h"
#include "simulator/coupon_profile.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"
#include "simulator/simulated_instrument.h"
#include "usb/libusb_driver_port.h"

namespace {

constexpr const char* kHelp =
    "usage: orvik [FILE.tdr ...] [Characterize] [--simulate[=PROFILE]] [--sim-store FILE]\n"
    "             [--log FILE] [--io-log FILE] [--usb-id VID:PID[,VID:PID]]\n"
    "             [--usb-serial SERIAL] [--results URL]\n"
    "\n"
    "  FILE.tdr              a trace collection to open (else a new, empty one)\n"
    "  Characterize          start as a characterisation station: the Calibration\n"
    "                        dialog also derives the divisor, offers Reset and\n"
    "                        checks its results for plausibility\n"
    "  --simulate[=PROFILE]  use the built-in simulated MV300; PROFILE attaches a\n"
    "                        coupon to both cables: 50 (uniform, 10 inches) or\n"
    "                        Z@FROM-TO,... in inches, e.g. 50@0-4,60@4-6,50@6-10\n"
    "  --sim-store FILE      keep the simulated instrument's store in FILE (created\n"
    "                        when missing; any other kind of file is refused)\n"
    "  --log FILE            append the diagnostic log to FILE\n"
    "  --io-log FILE         write every driver request to FILE, one line each\n"
    "  --usb-id VID:PID[,VID:PID]\n"
    "                        the real instrument's USB ids before and after its\n"
    "                        program is loaded, for this run (default: the usb/\n"
    "                        settings, first 04B4:8613,2F4E:0300)\n"
    "  --usb-serial SERIAL   the instrument to use when several are attached, by its\n"
    "                        serial number (default: the usb/serial setting; empty,\n"
    "                        the first one found)\n"
    "  --results URL         store every recorded trace in this results database\n"
    "                        (postgresql://... or an SQLite file) for this run;\n"
    "                        else ORVIK_RESULTS_URL, else Preferences, else\n"
    "                        ~/.local/share/orvik/results.sqlite\n"
    "  --help, --version     print this text or the version and exit\n"
    "\n"
    "The program reads criteria.dat from the current folder and writes the\n"
    "diagnostic dump TDR_Data.csv there after every acquisition. Unsaved changes\n"
    "of open collections are journalled in ~/.local/share/orvik/recovery/ and\n"
    "offered for recovery at the next start.\n";

// --help and --version are answered before the application object exists,
// since that needs a display. Returns the exit code when one was answered.
std::optional<int> AnswerOnTheTerminal(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvik %s\n", ORVIK_VERSION);
        } else {
            continue;
        }
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    return std::nullopt;
}

struct ProgramArguments {
    orvik::StartOptions Start;
    std::optional<orvik::sim::CouponProfile> Coupon;
    std::string SimStore;
    QString Error;
};

ProgramArguments ParseArguments(const QStringList& arguments) {
    ProgramArguments parsed;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // Read as orvik-cli reads it. A profile that cannot be used is told,
        // and the simulated instrument keeps its default coupons.
        if (const auto simulate = orvik::sim::ReadSimulateOption(argument.toStdString())) {
            parsed.Start.Simulated = true;
            if (*simulate) {
                parsed.Coupon = (*simulate)->Coupon;
            } else {
                parsed.Error = QString::fromStdString((*simulate).Error().Message);
            }
        } else if (argument == "--sim-store" && i + 1 < arguments.size()) {
            parsed.SimStore = arguments[++i].toStdString();
        } else if (argument.startsWith("--sim-store=")) {
            parsed.SimStore = argument.mid(12).toStdString();
        } else if (argument.startsWith("--")) {
            parsed.Error = "Unknown option " + argument;
        } else if (argument.compare("Characterize", Qt::CaseInsensitive) != 0) {
            parsed.Start.DocumentPaths.append(argument);
        }
        parsed.Start.CommandLine += argument.toStdString() + " ";
    }
    return parsed;
}

// The diagnostic log named by --log FILE (or --log=FILE), taken out of the
// arguments; without one the program records nothing.
struct ProgramLog {
    std::unique_ptr<orvik::FileLogSink> Sink;
    orvik::DiagnosticLog Log;
    QString Problem;
};

// Takes "NAME FILE" or "NAME=FILE" out of the arguments: the last one given,
// or nothing.
std::optional<QString> TakeFileOption(QStringList& arguments, const QString& name) {
    std::optional<QString> path;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == name && i + 1 < arguments.size()) {
            path = arguments[i + 1];
            arguments.remove(i, 2);
        } else if (arguments[i].startsWith(name + "=")) {
            path = arguments[i].mid(name.size() + 1);
            arguments.remove(i, 1);
        } else {
            continue;
        }
        --i;
    }
    return path;
}

// Where every recorded trace is stored: --results, else ORVIK_RESULTS_URL,
// else the Preferences field, else the embedded file. A text that names no
// usable database is kept: the operator is told why at the first trace, and
// the measurements wait until Preferences names a usable one.
orvik::results::ResultsLocation ChooseResultsDatabase(QStringList& arguments) {
    std::string text;
    if (const std::optional<QString> option = TakeFileOption(arguments, "--results")) {
        text = option->toStdString();
    } else if (const char* named = std::getenv(orvik::results::kResultsUrlVariable);
               named != nullptr && *named != '\0') {
        text = named;
    } else if (const QString setting = orvik::CMainFrame::ResultsSetting(); !setting.isEmpty()) {
        text = setting.toStdString();
    } else {
        text = orvik::results::DefaultResultsPath();
    }
    return orvik::results::LocationOrUnusable(text);
}

ProgramLog TakeLogOption(QStringList& arguments) {
    ProgramLog log;
    const std::optional<QString> path = TakeFileOption(arguments, "--log");
    if (!path) {
        return log;
    }
    auto sink = orvik::FileLogSink::Open(path->toStdString());
    if (!sink) {
        log.Problem = QString::fromStdString(sink.Error().Message);
        return log;
    }
    log.Sink = std::move(*sink);
    log.Log = orvik::DiagnosticLog(*log.Sink, orvik::LogLevel::Debug);
    log.Log.Info("app", "Orvik started");
    return log;
}

// The driver request log named by --io-log FILE: every request to the
// instrument and the trigger port, one line each, as orvik-cli measure writes
// it; the first thing to look at when a real instrument misbehaves.
struct RequestLog {
    std::ofstream Stream;
    std::unique_ptr<orvik::RecordingDriverPort> Port;
    QString Problem;
};

void OpenRequestLog(QStringList& arguments, RequestLog& log) {
    const std::optional<QString> path = TakeFileOption(arguments, "--io-log");
    if (!path) {
        return;
    }
    log.Stream.open(path->toStdString(), std::ios::trunc);
    if (!log.Stream) {
        log.Problem = "The I/O log " + *path + " cannot be written.";
    }
}

// What the simulated instrument is given: the store file and, with
// --simulate=PROFILE, a coupon on both cables instead of the defaults.
orvik::sim::SimulatedInstrumentSetup SimulatorSetup(const ProgramArguments& arguments) {
    orvik::sim::SimulatedInstrumentSetup setup;
    setup.Options.instrument.storePath = arguments.SimStore;
    setup.Coupon = arguments.Coupon;
    return setup;
}

// A usb/ setting; written with its default the first time, so that it can be
// found and edited.
std::string UsbSetting(QSettings& stored, const QString& key, const std::string& fallback) {
    if (!stored.contains(key)) {
        stored.setValue(key, QString::fromStdString(fallback));
    }
    // Written by hand without quotes, "A:B,C:D" reads back as a list.
    const QVariant value = stored.value(key);
    return (value.typeId() == QMetaType::QStringList ? value.toStringList().join(",")
                                                     : value.toString())
        .toStdString();
}

// Which USB devices are the instrument and the trigger port: the usb/
// settings, and --usb-id for this run. A value that cannot be used is told,
// and the default stays.
orvik::UsbSettings ReadUsbSettings(QStringList& arguments, QString* problem) {
    orvik::UsbSettings settings;
    QSettings stored;
    auto refuse = [problem](const orvik::Failure& failure) {
        *problem = QString::fromStdString(failure.Message);
    };
    const std::string ids = UsbSetting(stored, "usb/instrumentIds", InstrumentIdsText(settings));
    const std::optional<QString> option = TakeFileOption(arguments, "--usb-id");
    if (const auto applied = ApplyInstrumentIds(option ? option->toStdString() : ids, settings);
        !applied) {
        refuse(applied.Error());
    }
    const auto trigger =
        orvik::ParseUsbId(UsbSetting(stored, "usb/triggerId", settings.trigger.ToString()));
    if (trigger) {
        settings.trigger = *trigger;
    } else {
        refuse(trigger.Error());
    }
    const auto request = orvik::ParseTriggerRequestSetup(
        UsbSetting(stored, "usb/triggerRequest", settings.triggerSetup.ToString()));
    if (request) {
        settings.triggerSetup = *request;
    } else {
        refuse(request.Error());
    }
    const std::optional<QString> serial = TakeFileOption(arguments, "--usb-serial");
    settings.serial = serial ? serial->toStdString() : UsbSetting(stored, "usb/serial", "");
    return settings;
}

}  // namespace

int main(int argc, char** argv) {
    orvik::ReportFileSizeLimitAsWriteFailure();
    if (const std::optional<int> answered = AnswerOnTheTerminal(argc, argv)) {
        return *answered;
    }
    QApplication application(argc, argv);
    // Qt has adopted the desktop's locale; numbers in the arguments and in
    // the system's own texts keep the C conventions (a decimal point).
    orvik::UseCNumericLocale();
    QApplication::setOrganizationName("Local AppWizard-Generated Applications");
    QApplication::setApplicationName("Orvik");
    // The desktop entry and icon an installed program is known by, so that a
    // desktop shows the window with them.
    QApplication::setDesktopFileName("orvik");
    QApplication::setWindowIcon(QIcon::fromTheme("orvik"));

    QStringList words = QApplication::arguments().mid(1);
    ProgramLog log = TakeLogOption(words);
    RequestLog requests;
    OpenRequestLog(words, requests);
    QString usbProblem;
    const orvik::UsbSettings usb = ReadUsbSettings(words, &usbProblem);
    const orvik::results::ResultsLocation resultsDatabase = ChooseResultsDatabase(words);
    const ProgramArguments arguments = ParseArguments(words);
    QString problem = !arguments.Error.isEmpty() ? arguments.Error
                      : !log.Problem.isEmpty()   ? log.Problem
                      : !usbProblem.isEmpty()    ? usbProblem
                                                 : requests.Problem;
    // The simulator's own pauses follow the wall clock, as the instrument's do.
    orvik::SystemClock clock;
    std::unique_ptr<orvik::DriverPort> port;
    orvik::sim::SimulatedDriverPort* simulator = nullptr;
    orvik::LibusbDriverPort* realPort = nullptr;
    if (arguments.Start.Simulated) {
        auto simulated = orvik::sim::AssembleSimulatedInstrument(clock, SimulatorSetup(arguments));
        if (!simulated) {
            // Refused before any window opens: the operator asked for this
            // file, so running on a store that is not kept would mislead.
            std::fprintf(stderr, "orvik: %s\n", simulated.Error().Message.c_str());
            return 1;
        }
        simulator = simulated->get();
        port = std::move(*simulated);
    } else {
        orvik::RealDriverPort real = orvik::OpenRealDriverPort(usb);
        realPort = real.usb;
        if (!real.problem.empty()) {
            log.Log.Warning("usb", real.problem);
        }
        if (realPort != nullptr) {
            realPort->SetLog(log.Log);
        }
        port = std::move(real.port);
    }

    if (requests.Stream.is_open() && requests.Stream) {
        requests.Port = std::make_unique<orvik::RecordingDriverPort>(*port, &requests.Stream);
        requests.Port->KeepCalls(false);
    }
    orvik::DriverPort& instrumentPort =
        requests.Port ? static_cast<orvik::DriverPort&>(*requests.Port) : *port;
    orvik::StartOptions start = arguments.Start;
    start.InstrumentThread = true;
    if (realPort != nullptr) {
        start.InstrumentName = [realPort] { return realPort->InstrumentSummary(); };
    }
    orvik::CMainFrame frame(start, instrumentPort, clock);
    if (simulator != nullptr && frame.SimulatorMenu() != nullptr) {
        new orvik::sim::SimulatorMenuWidget(*frame.SimulatorMenu(), *simulator,
                                            frame.InstrumentLock());
    }
    frame.SetDiagnosticLog(log.Log);
    frame.SetRecoveryFolder(orvik::DefaultRecoveryFolder());
    frame.UseResults(resultsDatabase, orvik::results::DefaultOutboxPath());
    frame.RestoreWindowGeometry();
    frame.show();
    // Before anything else: what a program that ended unexpectedly left.
    frame.OfferRecovery();
    if (!problem.isEmpty()) {
        QMessageBox::warning(&frame, "Orvik", problem);
    }
    frame.LoadCriteriaLibrary();
    frame.StartInstrument();
    frame.ProcessCommandLine(arguments.Start.DocumentPaths);
    return application.exec();
}
