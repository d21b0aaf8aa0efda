// A floor of stations against one real server: a station killed while it
// sends, twenty stations at once with the server killed under them. Nothing
// the operators saw is lost, and nothing is stored twice.
#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "collection/orvik_doc.h"
#include "journal/journal_recovery.h"
#include "postgres_server.h"
#include "results/collection_measurements.h"
#include "results/results_recorder.h"
#include "results/station_results.h"
#include "results_test_data.h"
#include "station_process.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> StoredUuids(const std::string& url) {
    results::StoreProblem problem;
    auto store = results::OpenResultsStore(*results::ParseResultsLocation(url), problem);
    EXPECT_TRUE(store.Ok()) << (store ? "" : store.Error().Message);
    std::vector<std::string> uuids;
    if (store) {
        const auto stored = store.Value()->Query({});
        for (const results::Measurement& m : *stored) {
            uuids.push_back(m.Uuid);
        }
    }
    return uuids;
}

std::set<std::string> AsSet(const std::vector<std::string>& uuids) {
    return {uuids.begin(), uuids.end()};
}

// What the program does at its next start: recover the journal, and send
// the recovered collection's traces (through the same outbox).
std::set<std::string> RecoverAndResend(const std::string& recovery, const std::string& outbox,
                                       const std::string& url) {
    std::vector<LeftoverJournal> journals = FindLeftoverJournals(recovery);
    EXPECT_EQ(journals.size(), 1u);
    COrvikDoc document;
    if (!journals.empty() && journals.front().HasChanges()) {
        EXPECT_TRUE(journals.front().RebuildInto(document).Ok());
    }
    results::RecorderOptions options;
    options.OutboxPath = outbox;
    results::ResultsRecorder recorder(*results::ParseResultsLocation(url), options);
    results::StationResults station(recorder, {"killed-station", "test"});
    station.FileCollection(document);
    EXPECT_TRUE(recorder.Flush(30s));
    std::set<std::string> recovered;
    for (const results::Measurement& m : results::MeasurementsOf(document.Items(), {})) {
        recovered.insert(m.Uuid);
    }
    return recovered;
}

TEST(StationFaults, AStationKilledWhileSendingLosesNothingTheTreeShowed) {
    PostgresServer& server = SharedPostgresServer();
    std::mt19937 random(2209);
    for (int round = 0; round < 3; ++round) {
        TemporaryFolder folder;
        const std::string url = server.Url(server.CreateDatabase());
        const std::string recovery = folder.File("recovery");
        const std::string outbox = folder.File("outbox.sqlite");
        std::vector<std::string> shown;
        {
            StationProcess station({ORVIK_STATION_CHILD, recovery, outbox, url, "200"});
            const std::size_t killAt = std::uniform_int_distribution<std::size_t>(1, 60)(random);
            std::string uuid;
            while (shown.size() < killAt && station.ReadLine(uuid)) {
                shown.push_back(uuid);
            }
            station.Kill();
            station.Wait();
        }
        ASSERT_FALSE(shown.empty());
        const std::set<std::string> recovered = RecoverAndResend(recovery, outbox, url);
        const std::vector<std::string> stored = StoredUuids(url);
        for (const std::string& uuid : shown) {
            EXPECT_TRUE(recovered.count(uuid))
                << "round " << round << ": the journal lost " << uuid;
        }
        EXPECT_EQ(AsSet(stored), recovered) << "round " << round;
        EXPECT_EQ(AsSet(stored).size(), stored.size()) << "round " << round << ": stored twice";
    }
}

// A folder in memory when the machine has a memory file system: twenty
// stations flushing their outboxes to one disk would spend the test waiting
// for it, and the disk is not what this test is about.
class MemoryFolder {
  public:
    MemoryFolder() {
        const std::filesystem::path shared = "/dev/shm";
        path_ = (std::filesystem::is_directory(shared) ? shared
                                                       : std::filesystem::temp_directory_path()) /
                ("orvik-stations-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ~MemoryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

TEST(StationFaults, TwentyStationsThroughAServerKilledAndRestartedStoreEverythingOnce) {
    PostgresServer& server = SharedPostgresServer();
    MemoryFolder folder;
    const std::string url = server.Url(server.CreateDatabase());
    constexpr int kStations = 20;
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer build looks for memory faults, not at load: the same
    // twenty stations and the same kill, with fewer measurements each.
    constexpr int kEach = 100;
#else
    constexpr int kEach = 500;
#endif
    std::vector<std::unique_ptr<StationProcess>> stations;
    for (int n = 0; n < kStations; ++n) {
        stations.push_back(std::make_unique<StationProcess>(std::vector<std::string>{
            ORVIK_STATION_CHILD, "", folder.File("outbox-" + std::to_string(n) + ".sqlite"), url,
            std::to_string(kEach), "station-" + std::to_string(n)}));
    }
    // Each station's UUIDs, as its tree showed them, read as they come.
    std::vector<std::vector<std::string>> shown(kStations);
    std::vector<std::thread> readers;
    std::atomic<int> total = 0;
    for (int n = 0; n < kStations; ++n) {
        readers.emplace_back([&, n] {
            std::string uuid;
            while (stations[n]->ReadLine(uuid)) {
                shown[n].push_back(uuid);
                ++total;
            }
        });
    }
    // Mid-way the server dies as a machine dies, and comes back.
    while (total < kStations * kEach / 3) {
        std::this_thread::sleep_for(5ms);
    }
    server.Kill();
    const int atKill = total;
    std::this_thread::sleep_for(300ms);
    server.Start();
    for (std::thread& reader : readers) {
        reader.join();
    }
    for (int n = 0; n < kStations; ++n) {
        const int status = stations[n]->Wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "station " << n;
    }
    EXPECT_LT(atKill, kStations * kEach) << "the kill came after the stations had finished";

    const std::vector<std::string> stored = StoredUuids(url);
    std::set<std::string> expected;
    for (const auto& uuids : shown) {
        EXPECT_EQ(uuids.size(), static_cast<std::size_t>(kEach));
        expected.insert(uuids.begin(), uuids.end());
    }
    EXPECT_EQ(expected.size(), static_cast<std::size_t>(kStations * kEach));
    EXPECT_EQ(stored.size(), expected.size()) << "stored twice, or lost";
    EXPECT_EQ(AsSet(stored), expected);
}

}  // namespace
}  // namespace orvik::testing
