#pragma once

// orvik-cli run in-process, with what it printed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace orvik::testing {

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

inline CliRun RunTool(std::vector<std::string> words) {
    words.insert(words.begin(), "orvik-cli");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = cli::RunCli(static_cast<int>(argv.size()), argv.data());
    CliRun run{code, ::testing::internal::GetCapturedStdout(),
               ::testing::internal::GetCapturedStderr()};
    return run;
}

}  // namespace orvik::testing
