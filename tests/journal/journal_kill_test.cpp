// A station killed at random moments loses nothing the operator has seen:
// after each kill, the journal it left rebuilds the collection as it was
// after the last operation the child had finished, or after the one it was in
// the middle of, byte for byte as Save would have written it.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
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

pid_t StartChild(const fs::path& recovery, const fs::path& states) {
    fs::create_directories(states);
    const std::string child = ORVIK_JOURNAL_CHILD;
    const std::string criteria = std::string(ORVIK_SAMPLES_DIR) + "/criteria.dat";
    const std::string recoveryText = recovery.string();
    const std::string statesText = states.string();
    char* argv[] = {const_cast<char*>(child.c_str()), const_cast<char*>(recoveryText.c_str()),
                    const_cast<char*>(statesText.c_str()), const_cast<char*>(criteria.c_str()),
                    nullptr};
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawn(&pid, child.c_str(), nullptr, nullptr, argv, environ), 0);
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// The states the child wrote, in order.
std::vector<Bytes> States(const fs::path& folder) {
    std::vector<Bytes> states;
    for (int n = 0; fs::exists(folder / ("state-" + std::to_string(n) + ".tdr")); ++n) {
        states.push_back(ReadFile((folder / ("state-" + std::to_string(n) + ".tdr")).string()));
    }
    return states;
}

// What the journals in `folder` rebuild; an empty collection when none has
// anything to recover.
Bytes Recovered(const fs::path& folder) {
    std::vector<LeftoverJournal> journals = FindLeftoverJournals(folder.string());
    EXPECT_LE(journals.size(), 1u);
    COrvikDoc document;
    if (!journals.empty() && journals.front().HasChanges()) {
        const auto rebuilt = journals.front().RebuildInto(document);
        EXPECT_TRUE(rebuilt.Ok()) << (rebuilt.Ok() ? "" : rebuilt.Error().Message);
    }
    return document.ToBytes();
}

// Every collection the reference journal can rebuild, in the order it
// passed through them: the journal cut after each of its frames.
std::vector<Bytes> RecoverableStates(const fs::path& recovery, const fs::path& scratch) {
    const std::vector<LeftoverJournal> journals = FindLeftoverJournals(recovery.string());
    EXPECT_EQ(journals.size(), 1u);
    const Bytes whole = ReadFile(journals.front().Path());
    fs::create_directories(scratch);
    const std::string cut = (scratch / "cut.orj").string();
    std::vector<Bytes> states{COrvikDoc().ToBytes()};
    for (std::size_t at = 0; at + 8 <= whole.size();) {
        const std::size_t length = whole[at] | whole[at + 1] << 8 | whole[at + 2] << 16 |
                                   static_cast<std::size_t>(whole[at + 3]) << 24;
        at += 8 + length;
        WriteFile(cut, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(at)));
        Bytes state = Recovered(scratch);
        if (state != states.back()) {
            states.push_back(std::move(state));
        }
    }
    fs::remove(cut);
    return states;
}

TEST(JournalKill, RecoveryAfterSigkillHoldsWhatTheOperatorSaw) {
    TemporaryFolder temp;
    const auto started = std::chrono::steady_clock::now();
    const pid_t reference = StartChild(temp.Path() / "ref-recovery", temp.Path() / "ref-states");
    const int status = WaitFor(reference);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const auto duration = std::chrono::steady_clock::now() - started;

    const std::vector<Bytes> seen = States(temp.Path() / "ref-states");
    ASSERT_EQ(seen.size(), 2u + 4u + 1u + 3u);
    const std::vector<Bytes> recoverable =
        RecoverableStates(temp.Path() / "ref-recovery", temp.Path() / "scratch");
    ASSERT_EQ(recoverable.back(), seen.back()) << "the whole journal rebuilds the last state";
    // Where each state the operator saw lies among the recoverable ones.
    std::vector<std::ptrdiff_t> position;
    for (const Bytes& state : seen) {
        const auto found = std::find(recoverable.begin(), recoverable.end(), state);
        ASSERT_NE(found, recoverable.end()) << "state " << position.size() << " is recoverable";
        position.push_back(found - recoverable.begin());
    }

    std::mt19937 random(19);
    std::int64_t longest = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    int midway = 0;
    for (int run = 0; run < 100; ++run) {
        const fs::path recovery = temp.Path() / ("recovery-" + std::to_string(run));
        const fs::path states = temp.Path() / ("states-" + std::to_string(run));
        const pid_t child = StartChild(recovery, states);
        std::uniform_int_distribution<std::int64_t> delay(0, longest);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        WaitFor(child);

        const std::size_t shown = States(states).size();
        midway += shown < seen.size() ? 1 : 0;
        if (shown == seen.size()) {
            longest = longest * 9 / 10;  // this run was quicker than the first: aim earlier
        }
        const Bytes recovered = Recovered(recovery);
        const auto found = std::find(recoverable.begin(), recoverable.end(), recovered);
        ASSERT_NE(found, recoverable.end()) << "run " << run << ": a collection never seen";
        const std::ptrdiff_t at = found - recoverable.begin();
        const std::ptrdiff_t least = shown == 0 ? 0 : position[shown - 1];
        const std::ptrdiff_t most = shown == seen.size() ? position.back() : position[shown];
        EXPECT_GE(at, least) << "run " << run << " lost what the operator saw after " << shown
                             << " operations";
        EXPECT_LE(at, most) << "run " << run << " recovered more than was under way";
        fs::remove_all(recovery);
        fs::remove_all(states);
    }
    EXPECT_GE(midway, 50) << "most kills should land while the child records";
}

}  // namespace
}  // namespace orvik
