// orvik-cli: the system without windows, for automation and for checking it
// from outside. Output goes to standard output; a failure prints one line to
// standard error and exits 1; bad usage exits 2.
#include <exception>
#include <iostream>

#include "base/file_store.h"
#include "cli/cli_command.h"

int main(int argc, char** argv) {
    orvik::ReportFileSizeLimitAsWriteFailure();
    try {
        return orvik::cli::RunCli(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "orvik-cli: " << error.what() << '\n';
        return 1;
    }
}
