#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli_run.h"
#include "collection/orvik_doc.h"
#include "journal/recovery_journal.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::ReadFile;
using testing::RunTool;
using testing::TemporaryFolder;

class RecoverCliTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_DATA_HOME", temp.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }

    // Leaves a journal of two recorded traces and one deleted, as a program
    // that died would; returns its path and what Save would have written.
    std::pair<std::string, std::vector<std::uint8_t>> LeaveJournal() {
        COrvikDoc document;
        RecoveryJournal journal(DefaultRecoveryFolder(), document);
        for (const char* name : {"a", "b", "c"}) {
            auto trace = std::make_unique<TraceRecord>();
            trace->Name = name;
            trace->Samples.push_back({1.0, 50.0});
            document.AppendItem(std::move(trace));
            document.UpdateAllViews();
        }
        document.RemoveItem(document.Items()[1].get());
        document.UpdateAllViews();
        return {journal.FilePath(), document.ToBytes()};
    }

    TemporaryFolder temp;
};

TEST_F(RecoverCliTest, ListsLeftJournalsAndRebuildsOneIntoANewFile) {
    EXPECT_EQ(RunTool({"recover", "--list"}).out, "[]\n");
    const auto [journal, expected] = LeaveJournal();

    const auto listed = RunTool({"recover", "--list"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.out.find("\"journal\": \"" + journal + "\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"collection\": null"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"traces\": 2"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"complete\": true"), std::string::npos) << listed.out;

    const std::string out = temp.File("recovered.tdr");
    const auto recovered = RunTool({"recover", journal, "--out", out});
    EXPECT_EQ(recovered.exitCode, 0) << recovered.err;
    EXPECT_EQ(ReadFile(out), expected);

    const auto again = RunTool({"recover", journal, "--out", out});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("exists"), std::string::npos);
    EXPECT_EQ(ReadFile(out), expected);
}

TEST_F(RecoverCliTest, SaysWhatWasLostAtTheEndOfACutJournal) {
    const auto [journal, expected] = LeaveJournal();
    std::filesystem::resize_file(journal, std::filesystem::file_size(journal) - 3);
    EXPECT_NE(RunTool({"recover", "--list"}).out.find("\"complete\": false"), std::string::npos);
    const auto recovered = RunTool({"recover", journal, "--out", temp.File("r.tdr")});
    EXPECT_EQ(recovered.exitCode, 0);
    EXPECT_NE(recovered.err.find("2 entries at the end"), std::string::npos) << recovered.err;
    EXPECT_NE(ReadFile(temp.File("r.tdr")), expected);
}

TEST_F(RecoverCliTest, RefusesBadUsageAndMissingJournals) {
    EXPECT_EQ(RunTool({"recover"}).exitCode, 2);
    EXPECT_EQ(RunTool({"recover", "--list", "x.orj"}).exitCode, 2);
    EXPECT_EQ(RunTool({"recover", "x.orj"}).exitCode, 2);
    EXPECT_EQ(RunTool({"recover", temp.File("none.orj"), "--out", temp.File("o.tdr")}).exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(temp.File("o.tdr")));
}

}  // namespace
}  // namespace orvik
