// Where a save writes: through chains of links to the file they name, into a
// FIFO or a character device the operator chose, and nowhere else.
#include "base/save_target.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "base/file_store.h"
#include "test_files.h"
#include "unprivileged.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Every entry under `root` that is not a folder, with what it is: a link's
// text, or a file's contents.
std::map<std::string, std::string> Entries(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().lexically_relative(root).string();
        if (entry.is_symlink()) {
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            const auto bytes = testing::ReadFile(entry.path().string());
            entries[name] = std::string(bytes.begin(), bytes.end());
        }
    }
    return entries;
}

// A chain of links across folders, one of them reached through a linked
// folder (L is A/sub), each link's text absolute or relative to the folder
// that really holds it; the file at the end exists or not. A save through the
// first link writes that file, and nothing else under the folder changes.
RC_GTEST_PROP(SaveTarget, AChainOfLinksIsSavedThroughToTheFileAtItsEnd, ()) {
    const auto links = *rc::gen::inRange(0, 5);
    const auto folders = *rc::gen::container<std::vector<std::string>>(
        links + 1, rc::gen::element<std::string>("A", "B", "A/sub", "L"));
    const auto absolute = *rc::gen::container<std::vector<bool>>(links, rc::gen::arbitrary<bool>());
    const bool targetExists = *rc::gen::arbitrary<bool>();

    TemporaryFolder folder;
    const fs::path root = folder.Path();
    fs::create_directories(root / "A/sub");
    fs::create_directories(root / "B");
    fs::create_directory_symlink("A/sub", root / "L");
    const auto place = [&](int index) {
        return root / folders[index] / (index == links ? "target" : "link" + std::to_string(index));
    };
    // Where an entry really is: its folder's links resolved, its own not.
    const auto physical = [&](int index) {
        return fs::canonical(place(index).parent_path()) / place(index).filename();
    };
    if (targetExists) {
        testing::WriteFile(place(links).string(), Bytes("old"));
    }
    for (int i = links - 1; i >= 0; --i) {
        const fs::path next = physical(i + 1);
        const fs::path text =
            absolute[i] ? next : next.lexically_relative(physical(i).parent_path());
        fs::create_symlink(text, place(i));
    }
    auto expected = Entries(root);
    const std::string target = physical(links).lexically_relative(fs::canonical(root)).string();
    expected[target] = "new";

    RC_ASSERT(SaveFileAtomically(place(0).string(), Bytes("new")).Ok());
    RC_ASSERT(Entries(root) == expected);
}

TEST(SaveTarget, WhatIsNotAFileToReplaceIsRefusedOrWrittenInto) {
    TemporaryFolder folder;
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder.File("folder"));
    fs::create_symlink("loop-b", folder.File("loop-a"));
    fs::create_symlink("loop-a", folder.File("loop-b"));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, folder.File("socket").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const std::string pipeEnd = "/dev/fd/" + std::to_string(pipe[1]);  // a link only /proc follows

    const struct {
        std::string path;
        std::string refusal;  // empty: written into as it is
    } cases[] = {
        {folder.File("folder"), ": it is a folder"},
        {folder.File("socket"), ": it is not a regular file"},
        {folder.File("loop-a"), ": Too many levels of symbolic links"},
        {fifo, ""},
        {"/dev/null", ""},
        {pipeEnd, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.path);
        const Result<SaveTarget> target = ResolveSaveTarget(row.path);
        if (!row.refusal.empty()) {
            ASSERT_FALSE(target);
            EXPECT_EQ(target.Error().Message, "Cannot write " + row.path + row.refusal);
        } else {
            ASSERT_TRUE(target);
            EXPECT_EQ(target->What, SaveTarget::Kind::Stream);
            EXPECT_EQ(target->Path, row.path);
        }
    }
    // The pipe's reader gets what is saved into it.
    ASSERT_TRUE(SaveFileAtomically(pipeEnd, Bytes("through the pipe")));
    ::close(pipe[1]);
    char read[32] = {};
    EXPECT_EQ(::read(pipe[0], read, sizeof read), 16);
    EXPECT_STREQ(read, "through the pipe");
    ::close(pipe[0]);
    ::close(socket);
    EXPECT_TRUE(fs::is_directory(folder.File("folder")));
    EXPECT_TRUE(fs::is_socket(folder.File("socket")));
}

// A file its owner protected from writing is not replaced behind its back,
// although its folder would allow the rename.
TEST(SaveTarget, AWriteProtectedFileIsRefused) {
    TemporaryFolder folder;
    const std::string path = folder.File("protected.tdr");
    testing::WriteFile(path, Bytes("old"));
    ::chmod(path.c_str(), 0444);
    ::chmod(folder.Path().c_str(), 0777);
    Status saved;
    {
        testing::Unprivileged nobody;
        saved = SaveFileAtomically(path, Bytes("new"));
    }
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.Error().Message, "Cannot write " + path + ": Permission denied");
    EXPECT_EQ(testing::ReadFile(path), Bytes("old"));
}

}  // namespace
}  // namespace orvik
