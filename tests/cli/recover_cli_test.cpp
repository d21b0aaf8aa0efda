#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "base/file_store.h"
#include "cli_run.h"
#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"
#include "test_files.h"
#include "unprivileged.h"

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
    std::pair<std::string, std::vector<std::uint8_t>> LeaveJournal(std::size_t samples = 1) {
        COrvikDoc document;
        RecoveryJournal journal(DefaultRecoveryFolder(), document);
        for (const char* name : {"a", "b", "c"}) {
            auto trace = std::make_unique<TraceRecord>();
            trace->Name = name;
            trace->Samples.assign(samples, TraceSample{1.0, 50.0});
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

TEST_F(RecoverCliTest, ListsPathsAsUtf8) {
    ::setenv("XDG_DATA_HOME",
             temp.File("Pr\xc3\xbc"
                       "fung")
                 .c_str(),
             1);
    const auto [journal, expected] = LeaveJournal();
    const auto listed = RunTool({"recover", "--list"});
    EXPECT_NE(listed.out.find("\"journal\": \"" + journal + "\""), std::string::npos) << listed.out;
    EXPECT_NE(journal.find("Pr\xc3\xbc"
                           "fung"),
              std::string::npos);
}

TEST_F(RecoverCliTest, AJournalRecoveredToAFileIsNotOfferedAgain) {
    const auto [journal, expected] = LeaveJournal();
    ASSERT_EQ(RunTool({"recover", journal, "--out", temp.File("r.tdr")}).exitCode, 0);
    EXPECT_EQ(ReadFile(temp.File("r.tdr")), expected);
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(RunTool({"recover", "--list"}).out, "[]\n");
}

TEST_F(RecoverCliTest, TheTracesOfACollectionThatChangedSinceBecomeANewOne) {
    const std::string lot = temp.File("lot.tdr");
    std::string journal;
    {
        COrvikDoc document;
        ASSERT_TRUE(document.SaveAs(lot).Ok());
        RecoveryJournal journalled(DefaultRecoveryFolder(), document);
        auto trace = std::make_unique<TraceRecord>();
        trace->Name = "unsaved";
        document.AppendItem(std::move(trace));
        document.UpdateAllViews();
        journal = journalled.FilePath();
    }
    COrvikDoc other;  // another program saves the lot meanwhile
    other.AppendItem(std::make_unique<TraceRecord>());
    other.AppendItem(std::make_unique<TraceRecord>());
    ASSERT_TRUE(other.SaveAs(lot).Ok());

    EXPECT_NE(RunTool({"recover", "--list"}).out.find("\"collection_changed\": true"),
              std::string::npos);
    const auto recovered = RunTool({"recover", journal, "--out", temp.File("r.tdr")});
    EXPECT_EQ(recovered.exitCode, 0) << recovered.err;
    EXPECT_NE(recovered.err.find("has changed since its journal began"), std::string::npos)
        << recovered.err;
    COrvikDoc written;
    ASSERT_TRUE(written.Open(temp.File("r.tdr")).Ok());
    ASSERT_EQ(written.Items().size(), 1u);
    EXPECT_EQ(static_cast<const TraceRecord&>(*written.Items()[0]).Name, "unsaved");
}

// The usual state of a failing disk: the journal can be read, not written.
// Run by a user who may not write it (root may write anything).
TEST_F(RecoverCliTest, RecoversFromAReadOnlyJournal) {
    namespace fs = std::filesystem;
    const auto [journal, expected] = LeaveJournal();
    const fs::path out = temp.Path() / "out";
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    fs::permissions(journal,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(fs::path(journal).parent_path(),
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string user =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    // The exit status and what it printed (the temporary paths need no quoting).
    const auto run = [&](const std::string& arguments) {
        std::FILE* pipe = ::popen((user + ORVIK_CLI + " " + arguments).c_str(), "r");
        std::string printed;
        for (int c; (c = std::fgetc(pipe)) != EOF;) {
            printed += static_cast<char>(c);
        }
        const int status = ::pclose(pipe);
        return std::pair{WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed};
    };
    const auto [listed, listing] = run("recover --list");
    EXPECT_EQ(listed, 0);
    EXPECT_NE(listing.find(journal), std::string::npos) << listing;
    const auto [recovered, ignored] =
        run("recover " + journal + " --out " + (out / "r.tdr").string());
    EXPECT_EQ(recovered, 0);
    EXPECT_EQ(ReadFile((out / "r.tdr").string()), expected);
    EXPECT_TRUE(fs::exists(journal)) << "it cannot be removed from a read-only folder";
    fs::permissions(fs::path(journal).parent_path(), fs::perms::owner_all, fs::perm_options::add);
}

// Where --out cannot take the file, the command says why and the journal
// stays, so that nothing is lost; a link to nothing yet gets the file at its
// target.
TEST_F(RecoverCliTest, AnOutThatCannotTakeTheFileKeepsTheJournal) {
    namespace fs = std::filesystem;
    ReportFileSizeLimitAsWriteFailure();
    fs::permissions(temp.Path(), fs::perms::all);
    const fs::path locked = temp.Path() / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const std::string fifo = temp.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_symlink("linked.tdr", temp.File("link.tdr"));
    struct Case {
        std::string situation;
        std::string out;
        std::string says;  // empty: written
    };
    const Case cases[] = {
        {"link to nothing yet", temp.File("link.tdr"), ""},
        {"FIFO", fifo, "exists"},
        {"read-only folder", (locked / "r.tdr").string(),
         "the folder " + locked.string() + " is not writable"},
        {"full disk", temp.File("full.tdr"), "Cannot write " + temp.File("full.tdr")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        const bool full = c.situation == "full disk";
        // Big enough that the file stops at the limit while what the command
        // says still fits.
        const auto [journal, expected] = LeaveJournal(full ? 1000 : 1);
        // Read by the user who may not write the folder.
        fs::permissions(journal, fs::perms::owner_read | fs::perms::owner_write |
                                     fs::perms::group_read | fs::perms::others_read);
        fs::permissions(fs::path(journal).parent_path(), fs::perms::all);
        rlimit limit{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit unlimited = limit;
        limit.rlim_cur = full ? 4096 : limit.rlim_cur;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        testing::CliRun recovered{};
        {
            std::optional<testing::Unprivileged> nobody;
            if (c.situation == "read-only folder") {
                nobody.emplace();
            }
            recovered = RunTool({"recover", journal, "--out", c.out});
        }
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        if (c.says.empty()) {
            EXPECT_EQ(recovered.exitCode, 0) << recovered.err;
            EXPECT_TRUE(fs::is_symlink(c.out));
            EXPECT_EQ(ReadFile(temp.File("linked.tdr")), expected);
            EXPECT_FALSE(fs::exists(journal));
            continue;
        }
        EXPECT_EQ(recovered.exitCode, 1);
        EXPECT_NE(recovered.err.find(c.says), std::string::npos) << recovered.err;
        EXPECT_TRUE(fs::exists(journal)) << "kept for another try";
        EXPECT_FALSE(fs::is_regular_file(c.out));
        fs::remove(journal);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_empty(locked));
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
