// Saves that a process does not live to finish: killed at a random moment, or
// stopped by a file-size limit (what a full disk looks like to the writer).
// Either way the target holds one whole file, old or new, and nothing is left
// beside it that could be taken for a collection or a library.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "base/file_store.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "test_files.h"

namespace orvik {
namespace {

using Clock = std::chrono::steady_clock;

// A collection of `traces` full traces (about 10 kB each); `level` makes the
// bytes of two collections differ everywhere.
void FillCollection(COrvikDoc& document, int traces, double level) {
    for (int i = 0; i < traces; ++i) {
        auto trace = std::make_unique<TraceRecord>();
        std::vector<double> values(kProfileSampleCount, level + i % 7);
        trace->FillFromAcquisition(nullptr, values, 0);
        trace->Name = "Trace " + std::to_string(i) + " at " + std::to_string(level);
        document.AppendItem(std::move(trace));
    }
}

void FillLibrary(CriteriaLibrary& library, int criteria, const std::string& prefix) {
    for (int i = 0; i < criteria; ++i) {
        library.AddCriterion().Name = prefix + " " + std::to_string(i);
    }
}

// The entries of `folder` that are not `keep`: what an interrupted save left.
std::vector<std::string> LeftBeside(const std::filesystem::path& folder,
                                    const std::vector<std::string>& keep) {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
            left.push_back(name);
        }
    }
    return left;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One version of both files, and their bytes as a whole save writes them.
struct Version {
    COrvikDoc Collection;
    CriteriaLibrary Library;
    std::vector<std::uint8_t> CollectionBytes;
    std::vector<std::uint8_t> LibraryBytes;

    Version(double level, const std::string& prefix) {
        FillCollection(Collection, 250, level);
        FillLibrary(Library, 400, prefix);
    }
    void SaveTo(const std::string& collection, const std::string& library) {
        ASSERT_TRUE(Library.Save(library).Ok());
        ASSERT_TRUE(Collection.SaveAs(collection).Ok());
        CollectionBytes = testing::ReadFile(collection);
        LibraryBytes = testing::ReadFile(library);
    }
};

// Starts a child process that saves `version` over both files, the library
// first when `libraryFirst`; returns once the child is about to write.
pid_t StartSave(Version& version, bool libraryFirst, const std::string& collection,
                const std::string& library) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const char go = 'g';
        [[maybe_unused]] const auto told = ::write(ready[1], &go, 1);
        if (libraryFirst) {
            (void)version.Library.Save(library);
        }
        (void)version.Collection.SaveAs(collection);
        if (!libraryFirst) {
            (void)version.Library.Save(library);
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    char go = 0;
    const bool started = child > 0 && ::read(ready[0], &go, 1) == 1;
    ::close(ready[0]);
    return started ? child : -1;
}

// How long a child takes from the word go to its exit, the longest of three:
// the child pays for the fork's copied pages too, so a save timed in this
// process would be too short a range for the kills.
Clock::duration ChildSaveTime(Version& onDisk, const std::string& collection,
                              const std::string& library) {
    Clock::duration longest{};
    for (int i = 0; i < 3; ++i) {
        const auto started = Clock::now();
        const pid_t child = StartSave(onDisk, i % 2 == 0, collection, library);
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) {
            return {};
        }
        longest = std::max(longest, Clock::now() - started);
    }
    return longest;
}

TEST(InterruptedSave, KilledAtRandomMomentsLeavesTheOldOrTheNewFileWhole) {
    testing::TemporaryFolder folder;
    const std::string collection = folder.File("c.tdr");
    const std::string library = folder.File("criteria.dat");
    Version versions[2] = {Version(40.0, "Old"), Version(60.0, "New")};
    versions[1].SaveTo(collection, library);
    versions[0].SaveTo(collection, library);
    const auto saveTime = ChildSaveTime(versions[0], collection, library);
    ASSERT_GT(saveTime.count(), 0);

    // Kills land anywhere from before the first byte to after the rename.
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::int64_t> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(saveTime).count() * 5 / 4);
    int onDisk = 0;  // the version both files hold
    int interrupted = 0;
    int finished = 0;
    for (int round = 0; round < 200; ++round) {
        const int next = 1 - onDisk;
        // The library first in even rounds, so that kills reach both saves.
        const pid_t child = StartSave(versions[next], round % 2 == 0, collection, library);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        (WIFSIGNALED(status) ? interrupted : finished) += 1;

        const auto savedCollection = testing::ReadFile(collection);
        const auto savedLibrary = testing::ReadFile(library);
        const bool collectionOld = savedCollection == versions[onDisk].CollectionBytes;
        const bool collectionNew = savedCollection == versions[next].CollectionBytes;
        ASSERT_TRUE(collectionOld || collectionNew)
            << "round " << round << ": the collection is a mix of " << savedCollection.size()
            << " bytes";
        const bool libraryOld = savedLibrary == versions[onDisk].LibraryBytes;
        ASSERT_TRUE(libraryOld || savedLibrary == versions[next].LibraryBytes)
            << "round " << round << ": the library is a mix of " << savedLibrary.size() << " bytes";
        for (const std::string& name : LeftBeside(folder.Path(), {"c.tdr", "criteria.dat"})) {
            // Only a kill between naming the finished file and the rename can
            // leave one: hidden and with a suffix, never a collection's name.
            EXPECT_EQ(name.front(), '.') << name;
            EXPECT_FALSE(EndsWith(name, ".tdr") || EndsWith(name, ".dat")) << name;
            std::filesystem::remove(folder.Path() / name);
        }
        // The next round saves the other version over both files: when the
        // kill fell between the two saves, finish this version first.
        if (collectionOld != libraryOld) {
            versions[next].SaveTo(collection, library);
        }
        if (!collectionOld || !libraryOld) {
            onDisk = next;
        }
    }
    RecordProperty("killed", interrupted);
    RecordProperty("finished", finished);
    // Kills that all came too late or too early would prove nothing.
    EXPECT_GT(interrupted, 20) << finished << " saves finished before their kill";
    EXPECT_GT(finished, 0) << interrupted << " saves were killed";
}

// Runs `save` in a child process whose files may not grow past `limit` bytes,
// as the program runs (a file-size signal ignored); returns the failure's
// message and detail, or "saved".
std::string SaveUnderFileSizeLimit(rlim_t limit, const std::function<Status()>& save) {
    int answer[2];
    if (::pipe(answer) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answer[0]);
        ReportFileSizeLimitAsWriteFailure();
        const rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Status saved = save();
        const std::string text =
            saved ? "saved" : saved.Error().Message + " | " + saved.Error().Detail;
        [[maybe_unused]] const auto told = ::write(answer[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(answer[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = ::read(answer[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(answer[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status)) {
        return "the saving process was ended by signal " + std::to_string(WTERMSIG(status));
    }
    return text;
}

TEST(InterruptedSave, AFullDiskFailsTheSaveAndKeepsTheOldFiles) {
    testing::TemporaryFolder folder;
    const std::string collection = folder.File("c.tdr");
    const std::string library = folder.File("criteria.dat");
    testing::WriteFile(collection, {1, 2, 3});
    testing::WriteFile(library, {4, 5, 6});
    COrvikDoc document;
    FillCollection(document, 20, 50.0);
    CriteriaLibrary criteria;
    FillLibrary(criteria, 50, "Limited");

    const std::string collectionSave =
        SaveUnderFileSizeLimit(64 * 1024, [&] { return document.SaveAs(collection); });
    EXPECT_EQ(collectionSave.rfind(std::string(kFailedToSaveDocument) + " | Cannot write " +
                                       collection + ": File too large",
                                   0),
              0u)
        << collectionSave;
    const std::string librarySave =
        SaveUnderFileSizeLimit(512, [&] { return criteria.Save(library); });
    EXPECT_EQ(librarySave.rfind("Cannot write " + library + ": File too large", 0), 0u)
        << librarySave;

    EXPECT_EQ(testing::ReadFile(collection), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(testing::ReadFile(library), (std::vector<std::uint8_t>{4, 5, 6}));
    EXPECT_TRUE(LeftBeside(folder.Path(), {"c.tdr", "criteria.dat"}).empty());
    // Within the limit the same saves succeed.
    EXPECT_EQ(SaveUnderFileSizeLimit(RLIM_INFINITY, [&] { return document.SaveAs(collection); }),
              "saved");
}

}  // namespace
}  // namespace orvik
