#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/diagnostic_log.h"
#include "results/results_outbox.h"
#include "results/results_store.h"

namespace orvik::results {

// Hears how the recorder fares, from its own thread.
class RecorderListener {
  public:
    virtual ~RecorderListener() = default;
    // How many measurements have not reached the database, after each attempt.
    virtual void WaitingChanged(std::size_t waiting) = 0;
    // The database refused them: told once, until it takes measurements again.
    virtual void Refused(const Failure& why) = 0;
    // `count` measurements new to the database were stored, each told once
    // (one stored before is not counted again): what shows the database's
    // contents may read them again.
    virtual void Stored(std::size_t count) { (void)count; }
};

using StoreOpener = std::function<Result<std::unique_ptr<ResultsStore>>(const ResultsLocation&,
                                                                        StoreProblem&, Abandon)>;

struct RecorderOptions {
    // The outbox file; empty to keep waiting measurements in memory only.
    std::string OutboxPath;
    // Pauses between attempts while the database cannot take measurements:
    // doubled after every failure, up to the longest.
    std::chrono::milliseconds FirstRetry{250};
    std::chrono::milliseconds LongestRetry{5000};
    // Measurements sent in one transaction.
    std::size_t BatchSize = 200;
    StoreOpener Open = &OpenResultsStore;
    RecorderListener* Listener = nullptr;
};

// Sends recorded measurements to a results database on a thread of its own,
// so that whoever records never waits for the database. What the database
// cannot take now waits in the outbox, in order, and is sent when it can;
// a later program sends what an earlier one left there.
class ResultsRecorder {
  public:
    ResultsRecorder(ResultsLocation target, RecorderOptions options,
                    DiagnosticLog& log = DiagnosticLog::Null());
    // Close(0): what waits is kept in the outbox.
    ~ResultsRecorder();
    ResultsRecorder(const ResultsRecorder&) = delete;
    ResultsRecorder& operator=(const ResultsRecorder&) = delete;

    // Hands measurements over; returns at once.
    void Record(Measurement measurement);
    void Record(std::vector<Measurement> measurements);

    // Sends to another database from now on, what waits included.
    void Retarget(ResultsLocation target);
    ResultsLocation Target() const;

    // Measurements not stored yet: handed over, or waiting in the outbox.
    std::size_t Waiting() const;
    // Why the last attempt failed; none after a success.
    std::optional<Failure> LastFailure() const;

    // Waits until nothing waits, or the database refused, or `timeout`
    // passed. True when everything handed over is stored.
    bool Flush(std::chrono::milliseconds timeout);
    // Ends the thread: for at most `grace` it goes on sending what waits
    // while the database can be reached; the rest stays in the outbox (in
    // memory without one: lost to the database, kept in the collections).
    // How many still wait.
    std::size_t Close(std::chrono::milliseconds grace);

  private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void OpenOutbox();
    // Waits for something to do; false when the recorder is closing and
    // nothing more can be sent.
    bool TakeWork(std::vector<Measurement>& handed, std::optional<ResultsLocation>& retargeted);
    void KeepWhatWaits();
    void SwitchTarget(const ResultsLocation& target);
    // Not closing, or closing with time left and a database that did not refuse.
    bool MayTry() const;
    void Attempt(std::vector<Measurement> handed);
    bool Send(std::span<const Measurement> batch);
    void DrainBacklog();
    void KeepInBacklog(std::vector<Measurement> batch);
    bool OutboxEmpty();
    std::size_t BacklogCount();
    void Failed(const Failure& failure, StoreProblem problem);
    void Succeeded();
    void Publish();

    RecorderOptions options_;
    DiagnosticLog& log_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;     // the writer: work, a new target, the end
    std::condition_variable settled_;  // Flush: the count changed
    std::deque<Measurement> queue_;
    std::size_t inFlight_ = 0;
    std::size_t backlog_ = 0;
    ResultsLocation target_;
    bool ready_ = false;     // the writer knows what the outbox holds
    bool finished_ = false;  // the writer has kept what waits and ends
    bool retargeted_ = false;
    bool stopping_ = false;
    Clock::time_point deadline_{};
    std::optional<Failure> lastFailure_;
    StoreProblem lastProblem_ = StoreProblem::None;

    // The writer thread's own.
    std::unique_ptr<ResultsStore> store_;
    std::unique_ptr<ResultsOutbox> outbox_;
    std::deque<Measurement> memory_;  // the backlog when there is no outbox
    ResultsLocation current_;         // where the writer sends
    std::string shown_;               // the target the backlog is kept for
    bool sendable_ = true;            // the backlog holds something this Orvik can send
    std::chrono::milliseconds retry_{0};
    Clock::time_point retryAt_{};
    bool told_ = false;

    // Set when closing time is up: a connection or statement under way gives up.
    std::atomic<bool> abandon_{false};
    std::thread thread_;
};

}  // namespace orvik::results
