#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "cli/cli_command.h"
#include "cli_run.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "report/report_builder.h"
#include "script/script.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::TemporaryFolder;

using ToolRun = testing::CliRun;

ToolRun Tool(std::vector<std::string> words) {
    return testing::RunTool(std::move(words));
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class ReportCommands : public ::testing::Test {
  protected:
    ReportCommands() {
        auto first = std::make_unique<TraceRecord>();
        first->Name = "Sample #: 1";
        first->Average = 50.456;
        first->Passed = true;
        first->Time = 1'700'000'000;  // 2023-11-14T22:13:20Z
        first->Samples.assign({{0.0, 50.0}, {0.1, 49.5}});
        document.AppendItem(std::move(first));
        auto second = std::make_unique<TraceRecord>();
        second->Name = "Lot \"A\", \xB5-strip";
        second->Average = std::numeric_limits<double>::quiet_NaN();
        second->Criteria.Name = "Diff, 100";
        second->Criteria.DoubleEnded = 1;
        second->Criteria.TargetImpedance = 100.0;
        document.AppendItem(std::move(second));
        collection = folder.File("c.tdr");
        EXPECT_TRUE(document.SaveAs(collection));
    }
    std::string SaveLibrary(const std::string& company, const std::string& name) {
        CriteriaLibrary library;
        library.Preferences.CompanyName = company;
        library.Preferences.Telephone = "555";
        const std::string path = folder.File(name);
        EXPECT_TRUE(library.Save(path));
        return path;
    }

    TemporaryFolder folder;
    COrvikDoc document;
    std::string collection;
};

TEST_F(ReportCommands, ReportPrintsTheTextRenderingByteForByte) {
    const std::string library = SaveLibrary("Acme", "lib.dat");
    const ToolRun run = Tool({"report", collection, "--criteria", library});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "Acme\r\n\r\n\r\nTel: 555\r\nFax: \r\nEmail: \r\nWeb: \r\n"
        "Korveth MV300 - Orvik Script Report\r\n"
        "Coupon Name       Result       Average       Z Nominal       Tolerance       "
        "Differential\r\n" +
            std::string(120, '-') +
            "\r\n"
            "Sample #: 1       Pass       50.46       50.00       10.0       No\r\n"
            "Lot \"A\", \xB5-strip       Fail       nan       100.00       10.0       Yes\r\n");
}

TEST_F(ReportCommands, TabRenderingIsOneLinePerLine) {
    const std::string library = SaveLibrary("Acme", "lib.dat");
    const ToolRun run = Tool({"report", "--tab", collection, "--criteria=" + library});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), 12);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_NE(run.out.find("\nTel: 555\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n" + std::string(120, '-') + "\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nSample #: 1\tPass\t50.46\t50.00\t10.0\tNo\n"), std::string::npos);
}

TEST_F(ReportCommands, PreferencesComeFromTheCurrentFolderOrAreEmpty) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const ToolRun without = Tool({"report", collection});
    SaveLibrary("Here Inc", "criteria.dat");
    const ToolRun with = Tool({"report", collection});
    std::filesystem::current_path(previous);
    ASSERT_EQ(without.exitCode, 0) << without.err;
    EXPECT_EQ(without.out.rfind("\r\n\r\n\r\nTel: \r\n", 0), 0u);
    ASSERT_EQ(with.exitCode, 0) << with.err;
    EXPECT_EQ(with.out.rfind("Here Inc\r\n", 0), 0u);
}

TEST_F(ReportCommands, FailuresAreOneLineAndBadUsageExitsTwo) {
    testing::WriteFile(folder.File("bad.dat"), {1, 2, 3});
    testing::WriteFile(folder.File("bad.tdr"), {9, 9});
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"report", folder.File("none.tdr")},
             {"report", folder.File("bad.tdr")},
             {"report", collection, "--criteria", folder.File("bad.dat")},
             {"report", collection, "--criteria", folder.File("none.dat")},
             {"export-csv", folder.File("none.tdr")},
             {"export-csv", collection, "--trace", "3"}}) {
        const ToolRun run = Tool(words);
        EXPECT_EQ(run.exitCode, 1) << words.back();
        EXPECT_TRUE(run.out.empty()) << words.back();
        EXPECT_EQ(Lines(run.err), 1) << run.err;
    }
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"report"},
             {"report", collection, "--pages"},
             {"report", collection, "other.tdr"},
             {"report", collection, "--criteria"},
             {"report", collection, "--tab", "--pdf", "x.pdf"},
             {"report", collection, "--paper", "a4"},
             {"report", collection, "--pdf", "x.pdf", "--paper", "a3"},
             {"export-csv", collection, "--trace", "0"},
             {"export-csv", collection, "--trace", "two"}}) {
        EXPECT_EQ(Tool(words).exitCode, 2) << words.back();
    }
}

TEST_F(ReportCommands, AFailedWriteIsReportedNotSwallowed) {
    const int saved = dup(STDOUT_FILENO);
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    std::fflush(stdout);
    dup2(full, STDOUT_FILENO);
    ::testing::internal::CaptureStderr();
    std::string argument0 = "orvik-cli", argument1 = "report", argument2 = collection;
    char* argv[] = {argument0.data(), argument1.data(), argument2.data()};
    const int code = cli::RunCli(3, argv);
    const std::string err = ::testing::internal::GetCapturedStderr();
    std::clearerr(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(full);
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
}

TEST_F(ReportCommands, ExportCsvListsTracesForASpreadsheet) {
    const ToolRun run = Tool({"export-csv", collection});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "index,name,tag,passed,element_position,average,deviation,maximum,minimum,"
              "criterion,target,error,start,end,double_ended,time_iso8601\r\n"
              "1,Sample #: 1,0,true,0,50.456,0,0,0,Unnamed Criteria,50,10,4,7,false,"
              "2023-11-14T22:13:20Z\r\n"
              "2,\"Lot \"\"A\"\", \xC2\xB5-strip\",0,false,0,,0,0,0,\"Diff, 100\",100,10,4,7,true,"
              "1970-01-01T00:00:00Z\r\n");
}

TEST_F(ReportCommands, ExportCsvOfOneTraceListsItsSamples) {
    const ToolRun run = Tool({"export-csv", collection, "--trace", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "position_in,impedance_ohm\r\n0,50\r\n0.1,49.5\r\n");
    const ToolRun empty = Tool({"export-csv", "--trace=2", collection});
    EXPECT_EQ(empty.out, "position_in,impedance_ohm\r\n");
}

}  // namespace
}  // namespace orvik
