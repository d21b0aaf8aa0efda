#include "report/export_names.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

namespace orvik {
namespace {

TEST(ExportNames, FollowTheCollectionAndTheTrace) {
    struct Case {
        const char* path;
        const char* name;  // the title, or the trace's name
        bool trace;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {"/lots/LOT4711.tdr", "LOT4711.tdr", false, ".pdf", "/lots/LOT4711.pdf"},
        {"/lots/LOT4711.tdr", "LOT4711.tdr", false, ".txt", "/lots/LOT4711.txt"},
        {"/lot.d/run", "run", false, ".csv", "/lot.d/run.csv"},
        {"", "Untitled", false, ".csv", "Untitled.csv"},
        {"/lots/LOT4711.tdr", "Sample #: 3", true, ".csv", "/lots/Sample #_ 3.csv"},
        {"", "L4711-004A", true, ".csv", "L4711-004A.csv"},
        {"/l/x.tdr", "a/b\\c<d>|e?\"f*", true, ".csv", "/l/a_b_c_d__e__f_.csv"},
        {"/l/x.tdr", "Z\xe9ro", true, ".csv", "/l/Z\xc3\xa9ro.csv"},
        {"/l/x.tdr", " .. ", true, ".csv", "/l/trace.csv"},
    };
    for (const Case& c : cases) {
        const std::string proposed = c.trace ? ProposedTracePath(c.path, c.name, c.extension)
                                             : ProposedExportPath(c.path, c.name, c.extension);
        EXPECT_EQ(proposed, c.expected) << c.name;
    }
}

// Whatever a trace is called, the proposal is one file in the collection's
// folder that a file system takes.
RC_GTEST_PROP(ExportNames, TraceFileIsAlwaysAPlainName, (const std::string& traceName)) {
    const std::string proposed = ProposedTracePath("/lots/LOT.tdr", traceName, ".csv");
    RC_ASSERT(proposed.rfind("/lots/", 0) == 0);
    const std::string file = proposed.substr(6);
    RC_ASSERT(file.size() > 4);
    RC_ASSERT(file.substr(file.size() - 4) == ".csv");
    const std::string stem = file.substr(0, file.size() - 4);
    for (const char c : stem) {
        const auto byte = static_cast<unsigned char>(c);
        RC_ASSERT(byte >= 0x20);
        RC_ASSERT(std::string("/\\:*?\"<>|\x7f").find(c) == std::string::npos);
    }
    RC_ASSERT(stem.front() != ' ' && stem.front() != '.');
    RC_ASSERT(stem.back() != ' ' && stem.back() != '.');
}

}  // namespace
}  // namespace orvik
