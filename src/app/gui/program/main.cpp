// orvik: the operator's program for the MV300.
//
//   orvik [FILE.tdr ...] [Characterize] [--simulate[=PROFILE]] [--sim-store FILE] [--log FILE]
//
// --simulate runs on the built-in simulated MV300 (with PROFILE, a coupon
// given as 50 or Z@FROM-TO,... in inches, on both cables); --sim-store keeps
// the simulated instrument's store in FILE so that calibration survives;
// --log appends the diagnostic log to FILE; --help and --version answer on
// the terminal and need no display.
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "app/gui/main_frame.h"
#include "base/diagnostic_log.h"
#include "base/c_numbers.h"
#include "base/measurement_mode.h"
#include "instrument/no_devices_port.h"
#include "simulator/coupon_profile.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/simulated_driver_port.h"

namespace {

constexpr const char* kHelp =
    "usage: orvik [FILE.tdr ...] [Characterize] [--simulate[=PROFILE]] [--sim-store FILE]\n"
    "             [--log FILE]\n"
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
    "  --help, --version     print this text or the version and exit\n"
    "\n"
    "The program reads criteria.dat from the current folder and writes the\n"
    "diagnostic dump TDR_Data.csv there after every acquisition.\n";

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
    std::optional<std::string> Profile;
    std::string SimStore;
    QString Error;
};

ProgramArguments ParseArguments(const QStringList& arguments) {
    ProgramArguments parsed;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--simulate") {
            parsed.Start.Simulated = true;
        } else if (argument.startsWith("--simulate=")) {
            parsed.Start.Simulated = true;
            parsed.Profile = argument.mid(11).toStdString();
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

ProgramLog TakeLogOption(QStringList& arguments) {
    ProgramLog log;
    for (int i = 0; i < arguments.size(); ++i) {
        QString path;
        if (arguments[i] == "--log" && i + 1 < arguments.size()) {
            path = arguments[i + 1];
            arguments.remove(i, 2);
        } else if (arguments[i].startsWith("--log=")) {
            path = arguments[i].mid(6);
            arguments.remove(i, 1);
        } else {
            continue;
        }
        --i;
        auto sink = orvik::FileLogSink::Open(path.toStdString());
        if (!sink) {
            log.Problem = QString::fromStdString(sink.Error().Message);
            continue;
        }
        log.Sink = std::move(*sink);
        log.Log = orvik::DiagnosticLog(*log.Sink, orvik::LogLevel::Debug);
        log.Log.Info("app", "Orvik started");
    }
    return log;
}

// The simulated instrument with what a newcomer expects on its cables.
std::unique_ptr<orvik::sim::SimulatedDriverPort> MakeSimulator(orvik::Clock& clock,
                                                               const ProgramArguments& arguments,
                                                               QString* error) {
    using orvik::MeasurementMode;
    using orvik::sim::CableAttachment;
    orvik::sim::SimulatorOptions options;
    options.instrument.storePath = arguments.SimStore;
    auto port = std::make_unique<orvik::sim::SimulatedDriverPort>(clock, options);
    for (MeasurementMode mode : {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        CableAttachment attachment = orvik::sim::DefaultAttachment(mode);
        if (arguments.Profile) {
            std::string reason;
            const auto profile = orvik::sim::CouponProfile::Parse(*arguments.Profile, &reason);
            if (!profile) {
                *error = QString("The coupon profile %1 cannot be used: %2")
                             .arg(QString::fromStdString(*arguments.Profile))
                             .arg(QString::fromStdString(reason));
            } else {
                attachment = CableAttachment::Coupon(*profile);
            }
        }
        port->Instrument().Attach(mode, attachment);
    }
    return port;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = AnswerOnTheTerminal(argc, argv)) {
        return *answered;
    }
    QApplication application(argc, argv);
    // Qt has adopted the desktop's locale; numbers in the arguments and in
    // the system's own texts keep the C conventions (a decimal point).
    orvik::UseCNumericLocale();
    QApplication::setOrganizationName("Local AppWizard-Generated Applications");
    QApplication::setApplicationName("Orvik");

    QStringList words = QApplication::arguments().mid(1);
    ProgramLog log = TakeLogOption(words);
    const ProgramArguments arguments = ParseArguments(words);
    QString problem = arguments.Error.isEmpty() ? log.Problem : arguments.Error;
    // The simulator's own pauses follow the wall clock, as the instrument's do.
    orvik::SystemClock clock;
    std::unique_ptr<orvik::DriverPort> port;
    orvik::sim::SimulatedDriverPort* simulator = nullptr;
    if (arguments.Start.Simulated) {
        auto simulated = MakeSimulator(clock, arguments, &problem);
        const std::string& store = simulated->Instrument().Store().Problem();
        if (!store.empty()) {
            // Refused before any window opens: the operator asked for this
            // file, so running on a store that is not kept would mislead.
            std::fprintf(stderr, "orvik: --sim-store: %s\n", store.c_str());
            return 1;
        }
        simulator = simulated.get();
        port = std::move(simulated);
    } else {
        port = std::make_unique<orvik::NoDevicesPort>();
    }

    orvik::StartOptions start = arguments.Start;
    start.InstrumentThread = true;
    orvik::CMainFrame frame(start, *port, clock);
    if (simulator != nullptr && frame.SimulatorMenu() != nullptr) {
        new orvik::sim::SimulatorMenuWidget(*frame.SimulatorMenu(), *simulator,
                                            frame.InstrumentLock());
    }
    frame.SetDiagnosticLog(log.Log);
    frame.show();
    if (!problem.isEmpty()) {
        QMessageBox::warning(&frame, "Orvik", problem);
    }
    frame.LoadCriteriaLibrary();
    frame.StartInstrument();
    frame.ProcessCommandLine(arguments.Start.DocumentPaths);
    return application.exec();
}
