#pragma once

#include <QObject>
#include <QThread>
#include <atomic>

#include "base/operator_prompts.h"
#include "base/station_ports.h"
#include "instrument/image_loading.h"

namespace orvik {

// Instrument work on a thread of its own, one piece at a time in the order
// given; each piece's `done` runs afterwards on the thread that owns this
// object (the window thread). Destroying it waits for the piece under way;
// a `done` still queued then is dropped with it.
class ThreadedInstrumentWork : public QObject, public InstrumentWork {
    Q_OBJECT
  public:
    explicit ThreadedInstrumentWork(QObject* parent = nullptr);
    ~ThreadedInstrumentWork() override;

    void Run(std::function<void()> work, std::function<void()> done) override;
    // Runs `work` on the worker and keeps the window thread's events going
    // until it has ended (start-up, whose findings the caller needs next).
    void RunAndWait(std::function<void()> work);
    // Ends the thread after the piece under way. While waiting, calls
    // `release` now and then, so that a piece waiting for the window thread
    // (a message box it asked for) is let go instead of waiting forever.
    void Finish(const std::function<void()>& release);

    // The worker thread, for tests that check where work ran.
    const QThread* Thread() const { return &thread_; }

  private:
    QThread thread_;
    QObject* worker_;  // lives on thread_
};

// Prompts that may be called from the worker thread: the question is asked
// on the window thread and the worker waits for the answer, as it waited on
// the message box before. From the window thread they pass straight through.
class WindowThreadPrompts : public QObject, public OperatorPrompts {
    Q_OBJECT
  public:
    explicit WindowThreadPrompts(OperatorPrompts& window, QObject* parent = nullptr)
        : QObject(parent), window_(window) {}

    // From now on the worker gets no answers: a message is dropped, a
    // question answered No or Cancel; a question already waiting is let go.
    void Close();

    void Message(const std::string& text, const std::string& caption, PromptIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    std::optional<std::string> AskTraceName(const std::string& proposed) override;
    std::optional<std::string> AskCouponSerial() override;

  private:
    template <class Call>
    auto OnWindowThread(Call call) -> decltype(call());

    OperatorPrompts& window_;
    std::atomic<bool> closed_{false};
};

// The progress of an image load reported from the worker, shown by a window
// on the window thread; the calls arrive there in the order they were made.
class WindowThreadProgress : public QObject, public LoadProgress {
    Q_OBJECT
  public:
    explicit WindowThreadProgress(LoadProgress& window) : window_(window) {}

    void Show() override {
        Post([this] { window_.Show(); });
    }
    void SetRange(std::int64_t minimum, std::int64_t maximum) override {
        Post([this, minimum, maximum] { window_.SetRange(minimum, maximum); });
    }
    void SetPosition(std::int64_t position) override {
        Post([this, position] { window_.SetPosition(position); });
    }
    void Close() override {
        Post([this] { window_.Close(); });
    }

  private:
    template <class Call>
    void Post(Call call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    }

    LoadProgress& window_;
};

}  // namespace orvik
