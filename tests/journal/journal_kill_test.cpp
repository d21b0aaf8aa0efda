// A station killed at random moments loses nothing the operator has seen:
// after each kill, what the next start gives back (the journal it left
// rebuilt over the collection's file, or the file as saved) is the collection
// as it was after the last operation the child had finished, or after the one
// it was in the middle of, byte for byte as Save would have written it. The
// child records, deletes, saves and opens, so kills land inside saves too.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "test_files.h"

extern char** environ;

namespace orvik {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ReadFile;
using testing::TemporaryFolder;
using testing::WriteFile;

// The child as it is run: plain, or under a command that runs it (strace).
pid_t StartChild(const fs::path& recovery, const fs::path& states, const fs::path& lot,
                 std::vector<std::string> words = {}, bool everyList = false) {
    fs::create_directories(states);
    fs::copy_file(std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr", lot,
                  fs::copy_options::overwrite_existing);
    for (const std::string& word :
         {std::string(ORVIK_JOURNAL_CHILD), recovery.string(), states.string(),
          std::string(ORVIK_SAMPLES_DIR) + "/criteria.dat", lot.string()}) {
        words.push_back(word);
    }
    if (everyList) {
        words.push_back("--every-list");
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// The files `prefix`-0.tdr, -1, ... in order.
std::vector<Bytes> Numbered(const fs::path& folder, const std::string& prefix) {
    std::vector<Bytes> files;
    for (int n = 0;; ++n) {
        const fs::path path = folder / (prefix + "-" + std::to_string(n) + ".tdr");
        if (!fs::exists(path)) {
            return files;
        }
        files.push_back(ReadFile(path.string()));
    }
}

// What the next start gives back: the collection the journal in `folder`
// rebuilds, or, when it has nothing to recover, the collection's file.
Bytes Recovered(const fs::path& folder, const fs::path& lot) {
    std::vector<LeftoverJournal> journals = FindLeftoverJournals(folder.string());
    EXPECT_LE(journals.size(), 1u);
    COrvikDoc document;
    if (!journals.empty() && journals.front().HasChanges()) {
        EXPECT_FALSE(journals.front().CollectionChanged()) << "its changes were stranded";
        const auto rebuilt = journals.front().RebuildInto(document);
        EXPECT_TRUE(rebuilt.Ok()) << (rebuilt.Ok() ? "" : rebuilt.Error().Message);
        return document.ToBytes();
    }
    EXPECT_TRUE(document.Open(lot.string()).Ok());
    return document.ToBytes();
}

// Where each state the operator saw lies among all the lists the reference
// run went through, in order.
std::vector<std::ptrdiff_t> Positions(const std::vector<Bytes>& seen,
                                      const std::vector<Bytes>& lists) {
    std::vector<std::ptrdiff_t> positions;
    auto from = lists.begin();
    for (const Bytes& state : seen) {
        const auto found = std::find(from, lists.end(), state);
        EXPECT_NE(found, lists.end()) << "state " << positions.size() << " is a list";
        positions.push_back(found - lists.begin());
        from = found;
    }
    return positions;
}

class JournalKill : public ::testing::Test {
  protected:
    // Runs the child to its end, keeping every list it went through.
    void RunReference() {
        const auto started = std::chrono::steady_clock::now();
        const pid_t reference = StartChild(temp.Path() / "ref-recovery", temp.Path() / "ref-states",
                                           temp.Path() / "ref.tdr", {}, true);
        const int status = WaitFor(reference);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        duration = std::chrono::steady_clock::now() - started;
        seen = Numbered(temp.Path() / "ref-states", "state");
        lists = {ReadFile(std::string(ORVIK_SAMPLES_DIR) + "/sample.tdr")};
        for (Bytes& list : Numbered(temp.Path() / "ref-states", "list")) {
            lists.push_back(std::move(list));
        }
        ASSERT_EQ(seen.size(), 16u);
        ASSERT_EQ(lists.back(), seen.back());
        positions = Positions(seen, lists);
    }

    // A child killed after `shown` states left what recovers `recovered`:
    // one of the lists from the last state it showed to the next one. (A list
    // can come back later in the run: an open gives back what was saved.)
    void ExpectBetweenSeen(const Bytes& recovered, std::size_t shown, const std::string& run) {
        const std::ptrdiff_t least = shown == 0 ? 0 : positions[shown - 1];
        const std::ptrdiff_t most = shown == seen.size() ? positions.back() : positions[shown];
        const auto from = lists.begin() + least;
        const auto to = lists.begin() + most + 1;
        if (std::find(from, to, recovered) != to) {
            return;
        }
        const auto found = std::find(lists.begin(), lists.end(), recovered);
        ADD_FAILURE() << run << ", killed after " << shown << " operations, recovered "
                      << (found == lists.end() ? std::string("a collection never seen")
                                               : "list " + std::to_string(found - lists.begin()))
                      << "; lists " << least << " to " << most << " were expected";
    }

    TemporaryFolder temp;
    std::chrono::steady_clock::duration duration{};
    std::vector<Bytes> seen;
    std::vector<Bytes> lists;
    std::vector<std::ptrdiff_t> positions;
};

TEST_F(JournalKill, RecoveryAfterSigkillHoldsWhatTheOperatorSaw) {
    ASSERT_NO_FATAL_FAILURE(RunReference());
    std::mt19937 random(19);
    std::int64_t longest = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    int midway = 0;
    for (int run = 0; run < 60; ++run) {
        const fs::path recovery = temp.Path() / ("recovery-" + std::to_string(run));
        const fs::path states = temp.Path() / ("states-" + std::to_string(run));
        const fs::path lot = temp.Path() / ("lot-" + std::to_string(run) + ".tdr");
        const pid_t child = StartChild(recovery, states, lot);
        std::uniform_int_distribution<std::int64_t> delay(0, longest);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        WaitFor(child);

        const std::size_t shown = Numbered(states, "state").size();
        midway += shown < seen.size() ? 1 : 0;
        if (shown == seen.size()) {
            longest = longest * 9 / 10;  // this run was quicker than the first: aim earlier
        }
        ExpectBetweenSeen(Recovered(recovery, lot), shown, "run " + std::to_string(run));
        fs::remove_all(recovery);
        fs::remove_all(states);
    }
    EXPECT_GE(midway, 30) << "most kills should land while the child works";
}

// Killed exactly where a save has put its file in place and not yet emptied
// the journal (the child's first ftruncate): the changes are recognised as
// saved, not applied a second time to the file that holds them.
TEST_F(JournalKill, AKillBetweenASavesRenameAndTheJournalsEmptyingRecoversTheSavedList) {
    ASSERT_NO_FATAL_FAILURE(RunReference());
    const fs::path recovery = temp.Path() / "recovery";
    const fs::path states = temp.Path() / "states";
    const fs::path lot = temp.Path() / "lot.tdr";
    const pid_t child = StartChild(recovery, states, lot,
                                   {"strace", "-f", "-qq", "-o", "/dev/null", "-e",
                                    "trace=ftruncate", "-e", "inject=ftruncate:signal=KILL"});
    const int status = WaitFor(child);
    ASSERT_TRUE(WIFEXITED(status) || WIFSIGNALED(status));
    const std::vector<Bytes> shown = Numbered(states, "state");
    ASSERT_EQ(shown.size(), 3u) << "killed in the first save";
    ASSERT_EQ(ReadFile(lot.string()), shown.back()) << "the save had put its file in place";
    EXPECT_EQ(Recovered(recovery, lot), shown.back());
}

// The system calls of the child's first steps, in order, each with the paths
// of its file descriptors (strace -y), without the process id.
std::vector<std::string> TracedCalls(const fs::path& folder) {
    const fs::path recovery = folder / "new" / "nested" / "recovery";
    const fs::path trace = folder / "trace.txt";
    const pid_t child = StartChild(recovery, folder / "states", folder / "lot.tdr",
                                   {"strace", "-f", "-y", "-qq", "-o", trace.string(), "-e",
                                    "trace=mkdir,mkdirat,fsync,fdatasync,pwrite64,rename,"
                                    "renameat,renameat2,ftruncate,link,linkat"});
    WaitFor(child);
    std::vector<std::string> calls;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);) {
        const std::size_t call = line.find_first_not_of("0123456789 ");
        if (call != std::string::npos && line.find("/states/") == std::string::npos) {
            calls.push_back(line.substr(call));
        }
    }
    return calls;
}

bool Starts(const std::string& call, const std::string& start) {
    return call.rfind(start, 0) == 0;
}

// What reaches the disk in which order, as only a power cut would show: a
// killed process never loses the page cache. New folders are flushed into
// theirs; a save's journal entry is on the disk before its rename, and the
// folder after it, before the journal is emptied.
TEST(JournalOrder, FoldersAndASavesEntryReachTheDiskInOrder) {
    TemporaryFolder temp;
    const std::string top = temp.Path().string();
    const std::vector<std::string> calls = TracedCalls(temp.Path());
    ASSERT_FALSE(calls.empty()) << "strace ran";
    const auto journal = [](const std::string& call) {
        return call.find("/recovery/journal-") != std::string::npos;
    };
    std::size_t made = 0;
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
        if (Starts(calls[i], "mkdir(\"") && calls[i].find(") = 0") != std::string::npos) {
            const std::string path = calls[i].substr(7, calls[i].find('"', 7) - 7);
            EXPECT_TRUE(Starts(calls[i + 1], "fsync(") &&
                        calls[i + 1].find("<" + fs::path(path).parent_path().string() + ">)") !=
                            std::string::npos)
                << calls[i] << " is followed by " << calls[i + 1];
            ++made;
        }
        if (Starts(calls[i], "link(") && journal(calls[i])) {
            EXPECT_TRUE(Starts(calls[i + 1], "fsync(") &&
                        calls[i + 1].find("/new/nested/recovery>)") != std::string::npos)
                << calls[i + 1];
        }
    }
    EXPECT_EQ(made, 3u);
    const auto rename = std::find_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return Starts(call, "rename(\"" + top + "/.lot.tdr.");
    });
    ASSERT_TRUE(rename != calls.end() && rename - calls.begin() >= 3 && calls.end() - rename >= 3);
    EXPECT_TRUE(Starts(rename[-3], "linkat(")) << rename[-3];  // the saved file, flushed and named
    EXPECT_TRUE(Starts(rename[-2], "pwrite64(") && journal(rename[-2])) << rename[-2];
    EXPECT_TRUE(Starts(rename[-1], "fdatasync(") && journal(rename[-1])) << rename[-1];
    EXPECT_TRUE(Starts(rename[1], "fsync(") &&
                rename[1].find("<" + top + ">)") != std::string::npos)
        << rename[1];
    EXPECT_TRUE(Starts(rename[2], "ftruncate(") && journal(rename[2])) << rename[2];
}

}  // namespace
}  // namespace orvik
