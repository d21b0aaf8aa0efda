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
        {"dump", "dump FILE.tdr",
         "Prints a trace collection as JSON: its version, its next sample number and every\n"
         "item (traces with their samples and criterion, scripts, coupon markers).\n",
         &RunDump},
        {"resave", "resave IN.tdr OUT.tdr",
         "Loads a trace collection and saves it as the program saves it.\n", &RunResave},
        {"criteria", "criteria [FILE]",
         "Prints the criteria library as the program loads it (ids made unique) as JSON.\n"
         "Without FILE it reads criteria.dat in the current folder, an empty library when\n"
         "there is none; a FILE that does not exist is an error.\n",
         &RunCriteria},
        {"measure",
         "measure [--simulate[=PROFILE] | [--usb-id VID:PID[,VID:PID]] [--usb-serial SERIAL]] "
         "[--coupon PROFILE] [--mode "
         "single|differential] [--criteria FILE --criterion NAME] [--sim-store FILE] [--io-log "
         "FILE] [--results URL]",
         "Starts the instrument as the program does, runs one test and prints its average,\n"
         "deviation, maximum, minimum, verdict and samples as JSON.\n"
         "  --simulate[=PROFILE]  the simulated MV300; PROFILE (as --coupon) on both cables\n"
         "  --usb-id VID:PID      the real instrument's USB ids (without --simulate)\n"
         "  --coupon PROFILE      50 (uniform, 10 inches) or Z@FROM-TO,... in inches\n"
         "  --mode MODE           single (default) or differential\n"
         "  --criteria FILE --criterion NAME  judge by this criterion of the library\n"
         "                        (and its reference curve, in the .ref file beside FILE)\n"
         "  --sim-store FILE      keep the simulated instrument's store in FILE\n"
         "  --io-log FILE         write every driver request to FILE, one line each\n"
         "  --results URL         store the test in this results database (a file or a\n"
         "                        postgresql:// URL); without it nothing is stored\n",
         &RunMeasure},
        {"process",
         "process --mode single|differential [--eoc N] [--divisor X] [--constant X] "
         "[--kernel FILE] [--raw-derivative] RAW",
         "Runs the processing stage of an acquisition on a raw record (one whole sample per\n"
         "line) and prints CSV index,raw,derivative,derivative_copy,level,impedance.\n"
         "  --eoc N, --divisor X, --constant X  the calibration (default: built in)\n"
         "  --kernel FILE         the response kernel, one value per line\n"
         "  --raw-derivative      deconvolve the unsmoothed derivative\n",
         &RunProcess},
        {"report",
         "report FILE.tdr [--criteria FILE.dat] [--tab | --pdf OUT.pdf [--paper letter|a4] "
         "[--statistics [--results URL]]]",
         "Prints the report of a trace collection byte for byte as Text Report writes it.\n"
         "  --criteria FILE.dat   the company details (default: criteria.dat here, if any)\n"
         "  --tab                 the tab-separated lines instead\n"
         "  --pdf OUT.pdf         the printed report as a PDF (Letter, or --paper a4)\n"
         "  --statistics          then a page of lot statistics per script run, from the\n"
         "                        results database (--results, ORVIK_RESULTS_URL or the\n"
         "                        embedded file)\n",
         &RunReport},
        {"export-csv", "export-csv FILE.tdr [--trace N]",
         "Prints one CSV row per trace of a collection; with --trace N (from 1) the samples\n"
         "of the Nth trace instead.\n",
         &RunExportCsv},
        {"run-script",
         "run-script --simulate[=PROFILE] --criteria FILE.dat --script DESCRIPTION --coupons N "
         "[--serials S1,S2,...] [--coupon PROFILE] [--out FILE.tdr] [--sim-store FILE] "
         "[--results URL]",
         "Runs a script of the library over N coupons on the simulated MV300 as the program\n"
         "does, files the collection to --out and saves the library back; prints each\n"
         "coupon's serial, verdict and tests as JSON.\n"
         "  --serials S1,...      one serial a coupon, when the script asks for serials\n"
         "  --coupon PROFILE      one coupon on both cables (or --simulate=PROFILE)\n"
         "  --out FILE.tdr        a new file, or a collection to append to\n"
         "  --results URL         store every filed test in this results database;\n"
         "                        without it nothing is stored\n",
         &RunRunScript},
        {"calibrate",
         "calibrate --simulate[=PROFILE] [--sim-store FILE] [--mode single|differential] "
         "[--characterize] [--reset] [--airline Z@LENGTH]... [--verify Z@LENGTH] [--operator "
         "NAME] [--save]",
         "Runs the Calibration dialog's operations in order and prints the calibration\n"
         "before and after as JSON; the store is written only with --save.\n"
         "  --characterize        as a characterisation station (derives the divisor)\n"
         "  --reset               both modes back to the factory values (--characterize)\n"
         "  --airline Z@LENGTH    Calibrate against an airline of Z ohms, LENGTH inches\n"
         "  --verify Z@LENGTH     Verify on such an airline\n"
         "  --operator NAME       the name saved with the calibration\n",
         &RunCalibrate},
        {"recover", "recover --list | recover JOURNAL --out FILE.tdr",
         "Lists the recovery journals no running program holds, or saves the collection a\n"
         "journal rebuilds to a new file.\n",
         &RunRecover},
        {"devices", "devices [--usb-id VID:PID[,VID:PID]]",
         "Lists the MV300s on the USB bus as JSON, in hub port order: bus, address, port,\n"
         "serial, firmware, USB id and access (available, no permission, or in use by\n"
         "another program). The program's usb/ settings apply.\n",
         &RunDevices},
        {"import", "import FILE.tdr... [--results URL]",
         "Brings the traces of trace collections into the results database; a trace stored\n"
         "before (by this command or when it was recorded) is not added again. Prints how\n"
         "many were imported and how many were there already, as JSON.\n"
         "  --results URL         the database: a file or a postgresql:// URL (default:\n"
         "                        ORVIK_RESULTS_URL, else the program's own results file)\n",
         &RunImport},
        {"results", "results [--results URL] [--job J] [--since DATE] [--csv|--json]",
         "Lists the measurements stored in the results database, oldest first, as JSON\n"
         "(default) or CSV.\n"
         "  --results URL         the database, as for import\n"
         "  --job J               only those of script runs of job number J\n"
         "  --since DATE          only those recorded since DATE (UTC): 2026-12-08 or\n"
         "                        2026-12-08T21:48:32Z\n",
         &RunResults},
        {"stats", "stats [--results URL] --job J [--test POSTFIX] [--since DATE] [--csv|--json]",
         "Prints the lot statistics of each test of job J in script order, as JSON (default)\n"
         "or CSV: n, mean, sample standard deviation, minimum, maximum, yield, Cp and Cpk\n"
         "against the criterion's limits, and the Western Electric rules broken on the\n"
         "individuals chart, each naming its measurement; a figure that cannot be had is\n"
         "null, with the reason.\n"
         "  --results URL         the database, as for import\n"
         "  --job J               the job number (required)\n"
         "  --test POSTFIX        only the test with this postfix\n"
         "  --since DATE          only measurements recorded since DATE (UTC)\n",
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
    out << "  orvik-cli COMMAND --help\n";
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

// Any --help after the command asks for its usage instead of running it.
bool AsksForHelp(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
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
        if (AsksForHelp(argc, argv)) {
            std::cout << "usage: orvik-cli " << command.usage << "\n\n" << command.help;
            return Finish(command.name, 0);
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
