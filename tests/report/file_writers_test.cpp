// Every file the program writes, against what may be at the path it writes:
// a link, a file with its own mode and owner, a FIFO or a device, a folder, a
// folder or file the user may not write, a full disk. Each writer is a row;
// each situation is a test that runs every row.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/qt_environment.h"
#include "base/file_store.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "report/csv_export.h"
#include "report/gui/report_painting.h"
#include "report/report_builder.h"
#include "report/text_report.h"
#include "simulator/simulated_store.h"
#include "test_files.h"
#include "unprivileged.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

COrvikDoc::ItemList Traces(int version) {
    COrvikDoc::ItemList items;
    auto trace = std::make_unique<TraceRecord>();
    trace->Name = "Version " + std::to_string(version);
    items.push_back(std::move(trace));
    return items;
}

Status AsStatus(const std::string& text) {
    return Status{Failure{text, ""}};
}

struct Writer {
    std::string name;
    // Writes the writer's file, its contents made from `version`.
    std::function<Status(const std::string& path, int version)> write;
    // The simulated store reads its file before anything else, so it takes
    // nothing but a regular file.
    bool regularFilesOnly = false;
};

const std::vector<Writer>& Writers() {
    static const std::vector<Writer> writers = {
        {"collection (also recover --out, run-script --out)",
         [](const std::string& path, int version) {
             COrvikDoc document;
             for (auto& item : Traces(version)) {
                 document.AppendItem(std::move(item));
             }
             // The window shows the message and its detail, which names the file.
             const Status saved = document.SaveAs(path);
             return saved ? saved : AsStatus(saved.Error().Message + "\n" + saved.Error().Detail);
         }},
        {"library",
         [](const std::string& path, int version) {
             CriteriaLibrary library;
             library.AddCriterion().Name = "Version " + std::to_string(version);
             return library.Save(path);
         }},
        {"text report",
         [](const std::string& path, int version) {
             return WriteTextReport(path, Traces(version), ReportPreferences());
         }},
        {"CSV",
         [](const std::string& path, int version) {
             const std::string csv = CollectionCsv(Traces(version));
             return SaveFileAtomically(
                 path, std::span(reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()));
         }},
        {"PDF",
         [](const std::string& path, int version) {
             const COrvikDoc::ItemList items = Traces(version);
             return WriteReportPdf(ReportBuilder(items, ReportPreferences()).Content(), path);
         }},
        {"simulator store",
         [](const std::string& path, int version) {
             sim::SimulatedStore store(path);
             sim::SimulatedStore::Page page{};
             page.fill(static_cast<std::uint8_t>(version));
             store.Write(200, page);
             return store.LastSaveSucceeded() && store.Path() ? Status{}
                                                              : AsStatus(store.Problem());
         },
         true},
    };
    return writers;
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A file's bytes; nothing for anything else.
std::vector<std::uint8_t> Contents(const std::string& path) {
    return fs::is_regular_file(path) ? testing::ReadFile(path) : std::vector<std::uint8_t>();
}

class FileWriters : public ::testing::Test {
  protected:
    // The writer's first version at `path`, and its bytes.
    std::vector<std::uint8_t> WriteFirst(const Writer& writer, const std::string& path) {
        EXPECT_TRUE(writer.write(path, 1).Ok());
        return testing::ReadFile(path);
    }
    // A failure that leaves the old file and nothing beside it.
    void ExpectRefused(const Writer& writer, const std::string& path, const std::string& says) {
        const auto before = Contents(path);
        const auto listing = Listing(fs::path(path).parent_path());
        const Status saved = writer.write(path, 2);
        ASSERT_FALSE(saved.Ok());
        EXPECT_NE(saved.Error().Message.find(says), std::string::npos) << saved.Error().Message;
        EXPECT_EQ(Contents(path), before);
        EXPECT_EQ(Listing(fs::path(path).parent_path()), listing);
    }

    TemporaryFolder folder;
};

TEST_F(FileWriters, ALinkStaysALinkAndItsTargetGetsTheFile) {
    fs::create_directories(folder.File("shared"));
    fs::create_directories(folder.File("mine"));
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string target = folder.File("shared/" + writer.name);
        const std::string link = folder.File("mine/" + writer.name);
        const auto first = WriteFirst(writer, target);
        fs::create_symlink("../shared/" + writer.name, link);
        ASSERT_TRUE(writer.write(link, 2).Ok());
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_NE(testing::ReadFile(target), first) << "the shared target has the new file";

        // A link to nothing yet: its target is made.
        const std::string dangling = folder.File("mine/new " + writer.name);
        fs::create_symlink("../shared/new " + writer.name, dangling);
        ASSERT_TRUE(writer.write(dangling, 1).Ok());
        EXPECT_TRUE(fs::is_symlink(dangling));
        EXPECT_TRUE(fs::is_regular_file(folder.File("shared/new " + writer.name)));
    }
    EXPECT_EQ(Listing(folder.File("mine")).size(), 2 * Writers().size()) << "nothing left beside";
}

TEST_F(FileWriters, TheNewFileKeepsTheOldOnesModeAndOwner) {
    const bool root = ::geteuid() == 0;
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string path = folder.File(writer.name);
        WriteFirst(writer, path);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        if (root) {
            ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
        }
        ASSERT_TRUE(writer.write(path, 2).Ok());
        struct stat status {};
        ASSERT_EQ(::stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
        if (root) {
            EXPECT_EQ(status.st_uid, 1234u);
            EXPECT_EQ(status.st_gid, 5678u);
        }
    }
}

// What is written into a FIFO, read by another thread as a shell's reader
// would; times out instead of waiting for ever on a writer that never comes.
std::string ReadFifo(int fd) {
    std::string read;
    char buffer[65536];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 10000) <= 0) {
            return read + "(timed out)";
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EAGAIN) {
            continue;  // the writer has opened it and not written yet
        }
        if (got <= 0) {
            return read;
        }
        read.append(buffer, static_cast<std::size_t>(got));
    }
}

// A character device of the test's own: a writer that replaced it instead of
// writing into it would not take the machine's /dev/null or /dev/full with it.
std::string CharacterDevice(const TemporaryFolder& folder, const std::string& name, int minor) {
    const std::string own = folder.File(name);
    if (::mknod(own.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) {
        return own;
    }
    return "/dev/" + name;  // where only root could replace it
}

TEST_F(FileWriters, AFifoOrADeviceIsWrittenIntoAndStays) {
    const std::string null = CharacterDevice(folder, "null", 3);
    const std::string full = CharacterDevice(folder, "full", 7);
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        if (writer.regularFilesOnly) {
            const Status refused = writer.write(null, 1);
            ASSERT_FALSE(refused.Ok());
            EXPECT_NE(refused.Error().Message.find("not a regular file"), std::string::npos)
                << refused.Error().Message;
            EXPECT_FALSE(writer.write(fifo, 1).Ok()) << "refused, not read";
            continue;
        }
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        std::string received;
        std::thread reading([&] { received = ReadFifo(reader); });
        EXPECT_TRUE(writer.write(fifo, 1).Ok());
        reading.join();
        ::close(reader);
        EXPECT_GT(received.size(), 20u) << received;
        EXPECT_EQ(received.find("(timed out)"), std::string::npos);

        EXPECT_TRUE(writer.write(null, 1).Ok());
        const Status noSpace = writer.write(full, 1);
        ASSERT_FALSE(noSpace.Ok());
        EXPECT_NE(noSpace.Error().Message.find(std::strerror(ENOSPC)), std::string::npos);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file(null));
    EXPECT_TRUE(fs::is_character_file(full));
}

TEST_F(FileWriters, AFolderOrAFileTheUserMayNotWriteIsNamedAndLeftAsItIs) {
    const std::string locked = folder.File("locked");
    fs::create_directory(locked);
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string inLocked = locked + "/" + writer.name;
        WriteFirst(writer, inLocked);
        if (::geteuid() == 0) {  // the user's own file, in a folder that is not theirs
            ASSERT_EQ(::chown(inLocked.c_str(), testing::Unprivileged::kNobody,
                              testing::Unprivileged::kNobody),
                      0);
        }
        const std::string isFolder = folder.File("folder " + writer.name);
        fs::create_directory(isFolder);
        ExpectRefused(writer, isFolder, isFolder);

        const std::string protectedFile = folder.File("protected " + writer.name);
        WriteFirst(writer, protectedFile);
        ::chmod(protectedFile.c_str(), 0444);
        ::chmod(locked.c_str(), 0555);
        ::chmod(folder.Path().c_str(), 0777);
        testing::Unprivileged nobody;
        ExpectRefused(writer, inLocked, "the folder " + locked + " is not writable");
        ExpectRefused(writer, protectedFile, "Permission denied");
    }
    ::chmod(locked.c_str(), 0755);
}

// A full disk is what a file-size limit looks like to the writer: a write
// fails part way. The old file stays and nothing is left beside it.
TEST_F(FileWriters, AFullDiskLeavesTheOldFile) {
    ReportFileSizeLimitAsWriteFailure();
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.name);
        const std::string path = folder.File(writer.name);
        WriteFirst(writer, path);
        rlimit limit{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit unlimited = limit;
        limit.rlim_cur = 16;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        ExpectRefused(writer, path, "Cannot write " + path);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    }
}

}  // namespace
}  // namespace orvik
