// The command table and the dispatcher of orvik-cli.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#include "cli/calibrate_command.h"
#include "cli/cli_command.h"
#include "cli/collection_commands.h"
#include "cli/devices_command.h"
#include "cli/measure_command.h"
#include "cli/process_command.h"
#include "cli/recover_command.h"
#include "cli/report_command.h"
#include "cli/results_commands.h"
#include "cli/run_script_command.h"
#include "cli/stats_command.h"

namespace orvik::cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"dump", "dump FILE.tdr", &RunDump},
        {"resave", "resave IN.tdr OUT.tdr", &RunResave},
        {"criteria", "criteria [FILE]", &RunCriteria},
        {"measure",
         "measure [--simulate | --usb-id VID:PID[,VID:PID]] [--coupon PROFILE] [--mode "
         "single|differential] [--criteria FILE --criterion NAME] [--sim-store FILE] [--io-log "
         "FILE] [--results URL]",
         &RunMeasure},
        {"process",
         "process --mode single|differential [--eoc N] [--divisor X] [--constant X] "
         "[--kernel FILE] [--raw-derivative] RAW",
         &RunProcess},
        {"report",
         "report FILE.tdr [--criteria FILE.dat] [--tab | --pdf OUT.pdf [--paper letter|a4]]",
         &RunReport},
        {"export-csv", "export-csv FILE.tdr [--trace N]", &RunExportCsv},
        {"run-script",
         "run-script --simulate --criteria FILE.dat --script DESCRIPTION --coupons N "
         "[--serials S1,S2,...] [--coupon PROFILE] [--out FILE.tdr] [--sim-store FILE] "
         "[--results URL]",
         &RunRunScript},
        {"calibrate",
         "calibrate --simulate [--sim-store FILE] [--mode single|differential] [--characterize] "
         "[--reset] [--airline Z@LENGTH]... [--verify Z@LENGTH] [--operator NAME] [--save]",
         &RunCalibrate},
        {"recover", "recover --list | recover JOURNAL --out FILE.tdr", &RunRecover},
        {"devices", "devices [--usb-id VID:PID[,VID:PID]]", &RunDevices},
        {"import", "import FILE.tdr... [--results URL]", &RunImport},
        {"results", "results [--results URL] [--job J] [--since DATE] [--csv|--json]", &RunResults},
        {"stats", "stats [--results URL] --job J [--test POSTFIX] [--since DATE] [--csv|--json]",
         &RunStats},
    };
    return commands;
}

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage:\n";
    for (const Command& command : Commands()) {
        out << "  orvik-cli " << command.usage << '\n';
    }
    out << "  orvik-cli --help | --version\n";
}

// Output that never reached its destination (a full disk, a closed pipe) is
// a failure, not a result: everything is flushed and checked before the exit
// code is decided. Empty when all of it was written, else why not.
std::string UnwrittenOutput() {
    errno = 0;
    bool written = static_cast<bool>(std::cout.flush());
    int error = errno;
    if (std::fflush(stdout) != 0) {
        written = false;
        error = errno;
    }
    if (written && !std::ferror(stdout)) {
        return {};
    }
    return std::string("cannot write to standard output") +
           (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
}

// The exit code once the output is checked: a command that succeeded but
// whose output was lost fails.
int Finish(const char* name, int code) {
    const std::string problem = UnwrittenOutput();
    if (problem.empty()) {
        return code;
    }
    std::cerr << "orvik-cli" << (name ? std::string(" ") + name : "") << ": " << problem << '\n';
    return code == 0 ? 1 : code;
}

}  // namespace

int RunCli(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(argc < 2 ? std::cerr : std::cout);
        return Finish(nullptr, argc < 2 ? 2 : 0);
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "orvik-cli " << ORVIK_VERSION << '\n';
        return Finish(nullptr, 0);
    }
    for (const Command& command : Commands()) {
        if (std::strcmp(argv[1], command.name) != 0) {
            continue;
        }
        try {
            return Finish(command.name, command.run(Arguments(argv + 2, argv + argc)));
        } catch (const UsageError& error) {
            std::cerr << "orvik-cli " << command.name << ": " << error.what() << '\n'
                      << "usage: orvik-cli " << command.usage << '\n';
            return 2;
        } catch (const CommandFailure& error) {
            std::cerr << "orvik-cli " << command.name << ": " << error.what() << '\n';
            return 1;
        }
    }
    std::cerr << "orvik-cli: unknown command " << argv[1] << '\n';
    PrintUsage(std::cerr);
    return 2;
}

}  // namespace orvik::cli
