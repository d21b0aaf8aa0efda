// The recorder never makes the station wait, and whatever the database does,
// every recorded measurement is stored once, in the order it was recorded.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>

#include "results/results_recorder.h"
#include "results_test_data.h"
#include "test_files.h"

namespace orvik::testing {
namespace {

using namespace std::chrono_literals;
using results::Measurement;
using results::StoreProblem;

// A database that can be taken down, made to refuse, and brought back.
class FakeServer {
  public:
    enum class State { Up, Down, Refusing };

    void Set(State state) {
        const std::lock_guard lock(mutex_);
        state_ = state;
    }
    std::vector<std::string> Stored() const {
        const std::lock_guard lock(mutex_);
        return stored_;
    }
    int Attempts() const { return attempts_; }

    results::StoreOpener Opener() {
        return [this](const results::ResultsLocation&, StoreProblem& problem,
                      results::Abandon) -> Result<std::unique_ptr<results::ResultsStore>> {
            const std::lock_guard lock(mutex_);
            ++attempts_;
            if (state_ == State::Down) {
                problem = StoreProblem::Unreachable;
                return Failure{"The results database cannot be reached: no route", ""};
            }
            return std::unique_ptr<results::ResultsStore>(std::make_unique<FakeStore>(*this));
        };
    }

  private:
    class FakeStore : public results::ResultsStore {
      public:
        explicit FakeStore(FakeServer& server) : server_(server) {}
        Result<results::StoreCounts> Store(std::span<const Measurement> batch) override {
            const std::lock_guard lock(server_.mutex_);
            ++server_.attempts_;
            if (server_.state_ != State::Up) {
                problem_ = server_.state_ == State::Down ? StoreProblem::Unreachable
                                                         : StoreProblem::Refused;
                return Failure{server_.state_ == State::Down ? "gone" : "disk full", ""};
            }
            results::StoreCounts counts;
            for (const Measurement& m : batch) {
                if (server_.uuids_.insert(m.Uuid).second) {
                    server_.stored_.push_back(m.Uuid);
                    ++counts.Stored;
                } else {
                    ++counts.AlreadyPresent;
                }
            }
            problem_ = StoreProblem::None;
            return counts;
        }
        Result<std::vector<Measurement>> Query(const results::MeasurementFilter&) override {
            return std::vector<Measurement>{};
        }
        StoreProblem LastProblem() const override { return problem_; }

      private:
        FakeServer& server_;
        StoreProblem problem_ = StoreProblem::None;
    };

    mutable std::mutex mutex_;
    State state_ = State::Up;
    std::vector<std::string> stored_;
    std::set<std::string> uuids_;
    std::atomic<int> attempts_ = 0;
};

class Listener : public results::RecorderListener {
  public:
    void WaitingChanged(std::size_t count) override { waiting = count; }
    void Stored(std::size_t count) override { stored += count; }
    void Refused(const Failure& why) override {
        const std::lock_guard lock(mutex);
        told.push_back(why.Message);
    }
    std::size_t Told() {
        const std::lock_guard lock(mutex);
        return told.size();
    }
    std::atomic<std::size_t> waiting = 0;
    std::atomic<std::size_t> stored = 0;
    std::mutex mutex;
    std::vector<std::string> told;
};

results::RecorderOptions Options(FakeServer& server, const std::string& outbox,
                                 Listener* listener = nullptr) {
    results::RecorderOptions options;
    options.OutboxPath = outbox;
    options.FirstRetry = 1ms;
    options.LongestRetry = 8ms;
    options.BatchSize = 3;
    options.Open = server.Opener();
    options.Listener = listener;
    return options;
}

// Flush returns early while the database refuses; this waits for it to take them.
bool StoredWithin(results::ResultsRecorder& recorder, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!recorder.Flush(50ms)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

const results::ResultsLocation kTarget = *results::ParseResultsLocation("postgresql://floor/r");

Measurement Numbered(int n) {
    return Made("J", "-SE", n, "S", "m" + std::to_string(n));
}

RC_GTEST_PROP(ResultsRecorder, EverythingRecordedIsStoredOnceInOrderWhateverTheServerDoes, ()) {
    const auto events = *rc::gen::resize(40, rc::gen::arbitrary<std::vector<std::uint8_t>>());
    // In memory when the machine has a memory file system: every outbox
    // write is flushed to the disk, and a hundred histories would wait long.
    const std::filesystem::path shared = "/dev/shm";
    const std::string outbox =
        (std::filesystem::is_directory(shared) ? shared : std::filesystem::temp_directory_path()) /
        ("orvik-outbox-" + std::to_string(::getpid()) + ".sqlite");
    const auto cleanUp = [&outbox] {
        for (const char* end : {"", "-wal", "-shm"}) {
            std::filesystem::remove(outbox + end);
        }
    };
    cleanUp();
    FakeServer server;
    Listener listener;  // hears every recorder, across restarts
    std::vector<std::string> recorded;
    auto recorder =
        std::make_unique<results::ResultsRecorder>(kTarget, Options(server, outbox, &listener));
    for (const std::uint8_t event : events) {
        switch (event % 6) {
            case 0:
            case 1: {
                const Measurement m = Numbered(static_cast<int>(recorded.size()));
                recorded.push_back(m.Uuid);
                recorder->Record(m);
                break;
            }
            case 2:
                server.Set(FakeServer::State::Down);
                break;
            case 3:
                server.Set(FakeServer::State::Refusing);
                break;
            case 4:
                server.Set(FakeServer::State::Up);
                break;
            default:  // the program closes and starts again
                recorder->Close(event % 2 ? 0ms : 5ms);
                recorder = std::make_unique<results::ResultsRecorder>(
                    kTarget, Options(server, outbox, &listener));
        }
        if (event % 7 == 0) {
            std::this_thread::sleep_for(2ms);
        }
    }
    server.Set(FakeServer::State::Up);
    const bool stored = StoredWithin(*recorder, 10s);
    const std::size_t waiting = recorder->Waiting();
    recorder.reset();
    cleanUp();
    RC_ASSERT(stored);
    RC_ASSERT(waiting == 0u);
    RC_ASSERT(server.Stored() == recorded);
    // Every new measurement was announced once, whichever recorder sent it.
    RC_ASSERT(listener.stored == recorded.size());
}

TEST(ResultsRecorder, ARefusingDatabaseIsToldOnceAndNothingIsLost) {
    TemporaryFolder folder;
    FakeServer server;
    Listener listener;
    server.Set(FakeServer::State::Refusing);
    results::ResultsRecorder recorder(kTarget,
                                      Options(server, folder.File("outbox.sqlite"), &listener));
    for (int n = 0; n < 5; ++n) {
        recorder.Record(Numbered(n));
    }
    EXPECT_FALSE(recorder.Flush(2s));  // returns once refused, without waiting it out
    while (server.Attempts() < 10 || listener.Told() == 0) {
        std::this_thread::sleep_for(1ms);  // it keeps trying, quietly
    }
    EXPECT_EQ(recorder.Waiting(), 5u);
    EXPECT_EQ(listener.waiting, 5u);
    ASSERT_TRUE(recorder.LastFailure().has_value());
    EXPECT_EQ(recorder.LastFailure()->Message, "disk full");
    {
        const std::lock_guard lock(listener.mutex);
        EXPECT_EQ(listener.told, (std::vector<std::string>{"disk full"}));
    }
    server.Set(FakeServer::State::Up);
    EXPECT_TRUE(StoredWithin(recorder, 5s));
    EXPECT_EQ(server.Stored().size(), 5u);
    EXPECT_EQ(listener.waiting, 0u);
    // Refusing again after it took measurements: told again.
    server.Set(FakeServer::State::Refusing);
    recorder.Record(Numbered(5));
    for (int wait = 0; wait < 2000 && listener.Told() < 2; ++wait) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(listener.Told(), 2u);
}

TEST(ResultsRecorder, ClosingWithMeasurementsWaitingKeepsThemForTheNextStart) {
    TemporaryFolder folder;
    FakeServer server;
    server.Set(FakeServer::State::Down);
    const std::string outbox = folder.File("outbox.sqlite");
    std::vector<std::string> recorded;
    {
        results::ResultsRecorder recorder(kTarget, Options(server, outbox));
        for (int n = 0; n < 4; ++n) {
            recorder.Record(Numbered(n));
            recorded.push_back(Numbered(n).Uuid);
        }
        EXPECT_EQ(recorder.Close(20ms), 4u);
    }
    server.Set(FakeServer::State::Up);
    results::ResultsRecorder next(kTarget, Options(server, outbox));
    EXPECT_TRUE(next.Flush(5s));
    EXPECT_EQ(server.Stored(), recorded);
}

TEST(ResultsRecorder, ACorrectedTargetTakesWhatWaitedForTheWrongOne) {
    TemporaryFolder folder;
    FakeServer server;
    server.Set(FakeServer::State::Refusing);  // a wrong password, say
    results::ResultsRecorder recorder(kTarget, Options(server, folder.File("outbox.sqlite")));
    recorder.Record(Numbered(1));
    EXPECT_FALSE(recorder.Flush(2s));
    server.Set(FakeServer::State::Up);
    recorder.Retarget(*results::ParseResultsLocation("postgresql://floor/r2"));
    EXPECT_TRUE(recorder.Flush(5s));
    EXPECT_EQ(server.Stored().size(), 1u);
}

TEST(ResultsRecorder, WithoutAnOutboxMeasurementsWaitInMemoryAndClosingSaysHowMany) {
    FakeServer server;
    server.Set(FakeServer::State::Down);
    results::ResultsRecorder recorder(kTarget, Options(server, ""));
    recorder.Record({Numbered(1), Numbered(2)});
    EXPECT_FALSE(recorder.Flush(30ms));
    server.Set(FakeServer::State::Up);
    EXPECT_TRUE(recorder.Flush(5s));
    server.Set(FakeServer::State::Down);
    recorder.Record(Numbered(3));
    EXPECT_EQ(recorder.Close(10ms), 1u);
}

// A server that takes connections and never answers, as a hung machine does.
class SilentServer {
  public:
    explicit SilentServer(const std::filesystem::path& folder) {
        socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = (folder / ".s.PGSQL.5432").string();
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(socket_, 8), 0);
    }
    ~SilentServer() { ::close(socket_); }

  private:
    int socket_ = -1;
};

TEST(ResultsRecorder, ClosingDoesNotWaitForAServerThatNeverAnswers) {
    TemporaryFolder folder;
    SilentServer silent(folder.Path());
    ExpectClosingInTime("postgresql://orvik@/results?host=" + folder.Path().string(),
                        folder.File("outbox.sqlite"));
}

TEST(ResultsRecorder, ClosingDoesNotWaitForAFileAnotherProgramHolds) {
    TemporaryFolder folder;
    const std::string path = folder.File("results.sqlite");
    StoreProblem problem = StoreProblem::None;
    ASSERT_TRUE(results::OpenResultsStore(*results::ParseResultsLocation(path), problem).Ok());
    auto holder = results::ConnectSqlite(path, problem);
    ASSERT_TRUE(holder.Ok());
    ASSERT_TRUE((*holder)->ExecuteScript("BEGIN EXCLUSIVE").Ok());
    ExpectClosingInTime(path, folder.File("outbox.sqlite"));
}

}  // namespace
}  // namespace orvik::testing
