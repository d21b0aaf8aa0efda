// The order of the system calls that make a Record Test and a Save durable.
// A killed process never loses the page cache, so no kill test can tell
// whether a flush is missing; a power cut can. The recording flow is traced
// with strace instead: each journal write is flushed before the Record Test
// returns, and a save flushes its file, renames it, and flushes the folder
// before the journal is touched again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace orvik {
namespace {

// One traced call: its name and the file its descriptor names (strace -y),
// or for a rename the name it gives; for a mark, the mark's word.
struct Call {
    std::string name;
    std::string path;
};

bool IsWrite(const Call& call) {
    return call.name == "write" || call.name == "pwrite64" || call.name == "pwritev";
}
bool IsFlush(const Call& call) {
    return call.name == "fsync" || call.name == "fdatasync";
}
// A journal keeps the name it was made under ("....orj.new", since gone) in
// what strace shows of its descriptor.
bool InJournal(const Call& call) {
    return call.path.find(".orj") != std::string::npos;
}

// The first argument's file ("3</tmp/x/lot.tdr>" gives /tmp/x/lot.tdr), and
// for a rename its destination, the last quoted string.
std::string PathOf(const std::string& name, const std::string& arguments) {
    if (name.starts_with("rename")) {
        const std::size_t close = arguments.rfind('"');
        const std::size_t open = arguments.rfind('"', close - 1);
        return arguments.substr(open + 1, close - open - 1);
    }
    const std::size_t open = arguments.find('<');
    const std::size_t close = arguments.find('>', open);
    if (open == std::string::npos || close == std::string::npos || open > arguments.find(',')) {
        return {};
    }
    std::string path = arguments.substr(open + 1, close - open - 1);
    while (path.size() > 1 && path.ends_with('/')) {
        path.pop_back();
    }
    return path;
}

std::vector<Call> ReadTrace(const std::string& file) {
    std::vector<Call> calls;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.find_first_not_of("0123456789 ");
        const std::size_t paren = line.find('(', start);
        if (start == std::string::npos || paren == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(start, paren - start);
        const std::string arguments = line.substr(paren + 1);
        if (const std::size_t mark = arguments.find("\"MARK "); mark != std::string::npos) {
            const std::size_t end = arguments.find('\\', mark);
            calls.push_back({"mark", arguments.substr(mark + 6, end - mark - 6)});
        } else {
            calls.push_back({name, PathOf(name, arguments)});
        }
    }
    return calls;
}

// The calls between the mark `begin` (its `nth` occurrence) and the mark after it.
std::vector<Call> Between(const std::vector<Call>& calls, const std::string& begin, int nth) {
    std::vector<Call> inside;
    bool in = false;
    for (const Call& call : calls) {
        if (call.name == "mark") {
            if (in) {
                break;
            }
            in = call.path == begin && nth-- == 0;
        } else if (in) {
            inside.push_back(call);
        }
    }
    return inside;
}

// Index of the last call before `end` that `matches`, or -1.
template <typename Match>
int LastBefore(const std::vector<Call>& calls, std::size_t end, Match matches) {
    for (std::size_t i = end; i-- > 0;) {
        if (matches(calls[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST(SaveOrder, JournalWritesAreFlushedAndASaveFlushesFileRenameAndFolderInOrder) {
    if (std::system("command -v strace >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed (apt-get install strace)";
    }
    testing::TemporaryFolder folder;
    const std::string trace = folder.File("trace.txt");
    const std::string folderPath = folder.Path().string();
    // LeakSanitizer stops the world through ptrace, which strace holds.
    const std::string command =
        "ASAN_OPTIONS=detect_leaks=0 strace -f -y -qq -o '" + trace +
        "' -e trace=write,pwrite64,pwritev,fsync,fdatasync,rename,renameat,renameat2,ftruncate "
        "'" ORVIK_SAVE_ORDER_CHILD "' '" +
        folderPath + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<Call> calls = ReadTrace(trace);

    for (int record = 0; record < 3; ++record) {
        SCOPED_TRACE("Record Test " + std::to_string(record + 1));
        const std::vector<Call> inside = Between(calls, "record", record);
        const int write = LastBefore(inside, inside.size(),
                                     [](const Call& c) { return IsWrite(c) && InJournal(c); });
        const int flush = LastBefore(inside, inside.size(),
                                     [](const Call& c) { return IsFlush(c) && InJournal(c); });
        ASSERT_GE(write, 0) << "the record reaches the journal";
        EXPECT_GT(flush, write) << "and is flushed before the Record Test returns";
    }

    const std::vector<Call> save = Between(calls, "save", 0);
    const std::string collection = folderPath + "/lot.tdr";
    const int rename = LastBefore(save, save.size(), [&](const Call& c) {
        return c.name.starts_with("rename") && c.path == collection;
    });
    ASSERT_GE(rename, 0) << "the save replaces lot.tdr by a rename";
    const auto inFolder = [&](const Call& c) {
        return c.path.starts_with(folderPath + "/") && !InJournal(c);
    };
    const int written =
        LastBefore(save, rename, [&](const Call& c) { return IsWrite(c) && inFolder(c); });
    const int fileFlushed =
        LastBefore(save, rename, [&](const Call& c) { return IsFlush(c) && inFolder(c); });
    ASSERT_GE(written, 0);
    EXPECT_GT(fileFlushed, written) << "the new file is flushed before its rename";
    int folderFlushed = -1;
    int journalEmptied = -1;
    for (std::size_t i = static_cast<std::size_t>(rename) + 1; i < save.size(); ++i) {
        if (folderFlushed < 0 && IsFlush(save[i]) && save[i].path == folderPath) {
            folderFlushed = static_cast<int>(i);
        }
        if (journalEmptied < 0 && save[i].name == "ftruncate" && InJournal(save[i])) {
            journalEmptied = static_cast<int>(i);
        }
    }
    ASSERT_GE(folderFlushed, 0) << "the folder is flushed after the rename";
    ASSERT_GE(journalEmptied, 0) << "the save empties the journal";
    EXPECT_LT(folderFlushed, journalEmptied) << "before the journal is emptied";

    // Before the rename the journal only gains the entry naming the file the
    // save produces, flushed before the rename; its changes stay until the
    // file holds them.
    EXPECT_EQ(LastBefore(save, static_cast<std::size_t>(rename),
                         [](const Call& c) { return c.name == "ftruncate" && InJournal(c); }),
              -1);
    const int announced = LastBefore(save, static_cast<std::size_t>(rename),
                                     [](const Call& c) { return IsWrite(c) && InJournal(c); });
    const int announcedFlushed =
        LastBefore(save, static_cast<std::size_t>(rename),
                   [](const Call& c) { return IsFlush(c) && InJournal(c); });
    ASSERT_GE(announced, 0) << "the journal learns what the save produces";
    EXPECT_GT(announcedFlushed, announced) << "and has it on the disk before the rename";
}

}  // namespace
}  // namespace orvik
