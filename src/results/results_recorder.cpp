#include "results/results_recorder.h"

#include <algorithm>

namespace orvik::results {
namespace {

constexpr const char* kLogSource = "results";

}  // namespace

ResultsRecorder::ResultsRecorder(ResultsLocation target, RecorderOptions options,
                                 DiagnosticLog& log)
    : options_(std::move(options)), log_(log), target_(std::move(target)) {
    thread_ = std::thread([this] { Run(); });
}

ResultsRecorder::~ResultsRecorder() {
    Close(std::chrono::milliseconds(0));
}

void ResultsRecorder::Record(Measurement measurement) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(measurement));
    }
    wake_.notify_one();
}

void ResultsRecorder::Record(std::vector<Measurement> measurements) {
    {
        const std::lock_guard lock(mutex_);
        for (Measurement& measurement : measurements) {
            queue_.push_back(std::move(measurement));
        }
    }
    wake_.notify_one();
}

void ResultsRecorder::Retarget(ResultsLocation target) {
    {
        const std::lock_guard lock(mutex_);
        target_ = std::move(target);
        retargeted_ = true;
        // Whatever the last database said, the new one has not answered yet.
        lastFailure_.reset();
        lastProblem_ = StoreProblem::None;
    }
    wake_.notify_one();
}

ResultsLocation ResultsRecorder::Target() const {
    const std::lock_guard lock(mutex_);
    return target_;
}

std::size_t ResultsRecorder::Waiting() const {
    const std::lock_guard lock(mutex_);
    return queue_.size() + inFlight_ + backlog_;
}

std::optional<Failure> ResultsRecorder::LastFailure() const {
    const std::lock_guard lock(mutex_);
    return lastFailure_;
}

bool ResultsRecorder::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const auto stored = [this] {
        return ready_ && queue_.empty() && inFlight_ == 0 && backlog_ == 0;
    };
    settled_.wait_for(lock, timeout, [&] {
        return stored() || (ready_ && queue_.empty() && inFlight_ == 0 &&
                            lastProblem_ == StoreProblem::Refused);
    });
    return stored();
}

std::size_t ResultsRecorder::Close(std::chrono::milliseconds grace) {
    {
        const std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            return queue_.size() + backlog_;
        }
        stopping_ = true;
        deadline_ = Clock::now() + grace;
    }
    wake_.notify_one();
    {
        // A server that never answers must not hold the program: when the
        // time is up, what is under way gives up and goes to the outbox.
        std::unique_lock lock(mutex_);
        settled_.wait_until(lock, deadline_, [this] { return finished_; });
    }
    abandon_ = true;
    thread_.join();
    const std::lock_guard lock(mutex_);
    return queue_.size() + backlog_;
}

void ResultsRecorder::Run() {
    OpenOutbox();
    for (;;) {
        std::vector<Measurement> handed;
        std::optional<ResultsLocation> retargeted;
        if (!TakeWork(handed, retargeted)) {
            break;
        }
        if (retargeted) {
            SwitchTarget(*retargeted);
        }
        Attempt(std::move(handed));
    }
    KeepWhatWaits();
}

void ResultsRecorder::OpenOutbox() {
    if (!options_.OutboxPath.empty()) {
        auto opened = ResultsOutbox::Open(options_.OutboxPath);
        if (opened) {
            outbox_ = std::move(*opened);
        } else {
            log_.Error(kLogSource, opened.Error().Message + " (" + opened.Error().Detail +
                                       "); measurements that cannot be stored wait in memory");
        }
    }
    current_ = Target();
    shown_ = current_.Shown();
    retryAt_ = Clock::now();
    const std::size_t waiting = BacklogCount();
    {
        const std::lock_guard lock(mutex_);
        backlog_ = waiting;
        ready_ = true;
    }
    if (waiting > 0) {
        log_.Info(kLogSource, std::to_string(waiting) + " measurements wait for " + shown_);
    }
    Publish();
}

bool ResultsRecorder::TakeWork(std::vector<Measurement>& handed,
                               std::optional<ResultsLocation>& retargeted) {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto now = Clock::now();
        const bool mayTry =
            !stopping_ || (now < deadline_ && lastProblem_ != StoreProblem::Refused);
        const bool retryDue = backlog_ > 0 && sendable_ && mayTry && now >= retryAt_;
        if (retargeted_ || !queue_.empty() || retryDue) {
            break;
        }
        if (stopping_ && (!mayTry || backlog_ == 0 || !sendable_)) {
            return false;
        }
        auto until = backlog_ > 0 && sendable_ ? retryAt_ : Clock::time_point::max();
        if (stopping_) {
            until = std::min(until, deadline_);
        }
        if (until == Clock::time_point::max()) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, until);
        }
    }
    handed.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    queue_.clear();
    inFlight_ = handed.size();
    if (std::exchange(retargeted_, false)) {
        retargeted = target_;
    }
    return true;
}

void ResultsRecorder::KeepWhatWaits() {
    // Whatever could not be put into the outbox before is tried once more.
    if (!memory_.empty() && outbox_) {
        std::vector<Measurement> left(memory_.begin(), memory_.end());
        if (outbox_->Put(shown_, left)) {
            memory_.clear();
        }
    }
    const std::size_t waiting = BacklogCount();
    {
        const std::lock_guard lock(mutex_);
        backlog_ = waiting;
        finished_ = true;
    }
    if (waiting > 0) {
        log_.Warning(kLogSource,
                     std::to_string(waiting) + " measurements not stored in " + shown_ +
                         (memory_.empty() ? "; they wait in the outbox"
                                          : "; without an outbox they are lost to "
                                            "the database (the collections keep them)"));
    }
    Publish();
}

void ResultsRecorder::SwitchTarget(const ResultsLocation& target) {
    const std::string shown = target.Shown();
    if (outbox_ && shown != shown_) {
        if (const Status moved = outbox_->Retarget(shown_, shown); !moved) {
            log_.Error(kLogSource, "The outbox could not pass its measurements on to " + shown +
                                       ": " + moved.Error().Message);
        }
    }
    log_.Info(kLogSource, "Measurements go to " + shown + " from now on");
    current_ = target;
    shown_ = shown;
    store_.reset();
    told_ = false;
    retry_ = std::chrono::milliseconds(0);
    retryAt_ = Clock::now();
    sendable_ = true;
}

bool ResultsRecorder::MayTry() const {
    const std::lock_guard lock(mutex_);
    return !stopping_ || (Clock::now() < deadline_ && lastProblem_ != StoreProblem::Refused);
}

void ResultsRecorder::Attempt(std::vector<Measurement> handed) {
    const bool due = Clock::now() >= retryAt_ && MayTry();
    if (!handed.empty()) {
        // In order: nothing overtakes what already waits.
        const bool direct = due && BacklogCount() == 0;
        if (!direct || !Send(handed)) {
            KeepInBacklog(std::move(handed));
        }
    }
    {
        const std::size_t waiting = BacklogCount();
        const std::lock_guard lock(mutex_);
        inFlight_ = 0;
        backlog_ = waiting;
    }
    if (backlog_ > 0 && sendable_ && Clock::now() >= retryAt_ && MayTry()) {
        DrainBacklog();
    }
    Publish();
}

bool ResultsRecorder::Send(std::span<const Measurement> batch) {
    if (!store_) {
        StoreProblem problem = StoreProblem::None;
        auto opened = options_.Open(current_, problem, &abandon_);
        if (!opened) {
            Failed(opened.Error(), problem);
            return false;
        }
        store_ = std::move(*opened);
    }
    const Result<StoreCounts> counts = store_->Store(batch);
    if (!counts) {
        Failed(counts.Error(), store_->LastProblem());
        store_.reset();  // a fresh connection next time
        return false;
    }
    Succeeded();
    if (counts->Stored > 0 && options_.Listener != nullptr) {
        options_.Listener->Stored(counts->Stored);
    }
    if (counts->AlreadyPresent > 0) {
        log_.Debug(kLogSource, std::to_string(counts->AlreadyPresent) +
                                   " measurements were stored already in " + shown_);
    }
    return true;
}

void ResultsRecorder::DrainBacklog() {
    while (MayTry()) {
        std::vector<Measurement> batch;
        std::vector<std::int64_t> sequences;
        const bool fromOutbox = outbox_ != nullptr && !OutboxEmpty();
        if (fromOutbox) {
            auto entries = outbox_->Oldest(shown_, options_.BatchSize);
            if (!entries) {
                log_.Error(kLogSource, "The outbox cannot be read: " + entries.Error().Message);
                sendable_ = false;
                return;
            }
            for (ResultsOutbox::Entry& entry : *entries) {
                sequences.push_back(entry.Sequence);
                batch.push_back(std::move(entry.Item));
            }
        } else {
            const std::size_t count = std::min(options_.BatchSize, memory_.size());
            batch.assign(memory_.begin(), memory_.begin() + static_cast<std::ptrdiff_t>(count));
        }
        if (batch.empty()) {
            // What is left cannot be read by this Orvik; it stays for a later one.
            sendable_ = false;
            return;
        }
        if (!Send(batch)) {
            return;
        }
        if (fromOutbox) {
            if (const Status removed = outbox_->Remove(sequences); !removed) {
                // Sent again later and found stored: nothing is stored twice.
                log_.Error(kLogSource, "The outbox could not let go of sent measurements: " +
                                           removed.Error().Message);
                sendable_ = false;
                return;
            }
        } else {
            memory_.erase(memory_.begin(),
                          memory_.begin() + static_cast<std::ptrdiff_t>(batch.size()));
        }
        const std::size_t waiting = BacklogCount();
        {
            const std::lock_guard lock(mutex_);
            backlog_ = waiting;
        }
        Publish();
        if (waiting == 0) {
            return;
        }
    }
}

void ResultsRecorder::KeepInBacklog(std::vector<Measurement> batch) {
    sendable_ = true;
    if (outbox_ && memory_.empty()) {
        const Status put = outbox_->Put(shown_, batch);
        if (put) {
            return;
        }
        log_.Error(kLogSource, "The outbox cannot keep measurements: " + put.Error().Message +
                                   "; they wait in memory");
    }
    for (Measurement& measurement : batch) {
        memory_.push_back(std::move(measurement));
    }
}

bool ResultsRecorder::OutboxEmpty() {
    const Result<std::size_t> count = outbox_->Count(shown_);
    return count && *count == 0;
}

std::size_t ResultsRecorder::BacklogCount() {
    std::size_t count = memory_.size();
    if (outbox_) {
        if (const Result<std::size_t> waiting = outbox_->Count(shown_); waiting) {
            count += *waiting;
        }
    }
    return count;
}

void ResultsRecorder::Failed(const Failure& failure, StoreProblem problem) {
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        first = !lastFailure_.has_value();
        lastFailure_ = failure;
        lastProblem_ = problem;
    }
    retry_ =
        retry_.count() == 0 ? options_.FirstRetry : std::min(2 * retry_, options_.LongestRetry);
    retryAt_ = Clock::now() + retry_;
    if (problem == StoreProblem::Refused) {
        if (!told_) {
            told_ = true;
            log_.Error(kLogSource, failure.Message +
                                       (failure.Detail.empty() ? "" : " (" + failure.Detail + ")"));
            if (options_.Listener != nullptr) {
                options_.Listener->Refused(failure);
            }
        }
    } else if (first) {
        log_.Warning(kLogSource, failure.Message + "; measurements wait until it can be reached");
    }
}

void ResultsRecorder::Succeeded() {
    bool recovered = false;
    {
        const std::lock_guard lock(mutex_);
        recovered = lastFailure_.has_value();
        lastFailure_.reset();
        lastProblem_ = StoreProblem::None;
    }
    if (recovered) {
        log_.Info(kLogSource, "Measurements reach " + shown_ + " again");
    }
    told_ = false;
    retry_ = std::chrono::milliseconds(0);
    retryAt_ = Clock::now();
}

void ResultsRecorder::Publish() {
    const std::size_t waiting = Waiting();
    if (options_.Listener != nullptr) {
        options_.Listener->WaitingChanged(waiting);
    }
    settled_.notify_all();
}

}  // namespace orvik::results
