// The command table and the dispatcher of orvik-cli.
#include <cstring>
#include <exception>
#include <iostream>

#include "cli/cli_command.h"
#include "cli/collection_commands.h"
#include "cli/measure_command.h"
#include "cli/process_command.h"
#include "cli/report_command.h"

namespace orvik::cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"dump", "dump FILE.tdr", &RunDump},
        {"resave", "resave IN.tdr OUT.tdr", &RunResave},
        {"criteria", "criteria [FILE]", &RunCriteria},
        {"measure",
         "measure --simulate [--coupon PROFILE] [--mode single|differential] [--criteria FILE "
         "--criterion NAME] [--sim-store FILE] [--io-log FILE]",
         &RunMeasure},
        {"process",
         "process --mode single|differential [--eoc N] [--divisor X] [--constant X] "
         "[--kernel FILE] [--raw-derivative] RAW",
         &RunProcess},
        {"report",
         "report FILE.tdr [--criteria FILE.dat] [--tab | --pdf OUT.pdf [--paper letter|a4]]",
         &RunReport},
        {"export-csv", "export-csv FILE.tdr [--trace N]", &RunExportCsv},
    };
    return commands;
}

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage:\n";
    for (const Command& command : Commands()) {
        out << "  orvik-cli " << command.usage << '\n';
    }
}

}  // namespace

int RunCli(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    for (const Command& command : Commands()) {
        if (std::strcmp(argv[1], command.name) != 0) {
            continue;
        }
        try {
            return command.run(Arguments(argv + 2, argv + argc));
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
