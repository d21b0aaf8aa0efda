#include "app/gui/instrument_worker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <exception>
#include <optional>

namespace orvik {

ThreadedInstrumentWork::ThreadedInstrumentWork(QObject* parent)
    : QObject(parent), worker_(new QObject) {
    thread_.setObjectName("instrument");
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

ThreadedInstrumentWork::~ThreadedInstrumentWork() {
    Finish([] {});
}

void ThreadedInstrumentWork::Finish(const std::function<void()>& release) {
    thread_.quit();
    while (!thread_.wait(20)) {
        release();
    }
}

void ThreadedInstrumentWork::Run(std::function<void()> work, std::function<void()> done) {
    QMetaObject::invokeMethod(
        worker_,
        [this, work = std::move(work), done = std::move(done)]() mutable {
            // An exception must not end the worker thread (and the program
            // with it): the pieces catch what they expect at their own
            // boundary, and whatever still escapes ends this piece only.
            try {
                work();
            } catch (const std::exception&) {
            }
            QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void WindowThreadPrompts::Close() {
    closed_ = true;
    // A question posted and not yet shown is deleted, which lets its worker go.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void ThreadedInstrumentWork::RunAndWait(std::function<void()> work) {
    QEventLoop loop;
    bool finished = false;
    Run(std::move(work), [&] {
        finished = true;
        loop.quit();
    });
    if (!finished) {
        loop.exec();
    }
}

template <class Call>
auto WindowThreadPrompts::OnWindowThread(Call call) -> decltype(call()) {
    using Answer = decltype(call());
    if (QThread::currentThread() == thread()) {
        return call();
    }
    if (closed_) {
        return Answer{};
    }
    std::optional<Answer> answer;
    QMetaObject::invokeMethod(
        this, [&] { answer = call(); }, Qt::BlockingQueuedConnection);
    return answer ? *answer : Answer{};
}

void WindowThreadPrompts::Message(const std::string& text, const std::string& caption,
                                  PromptIcon icon) {
    OnWindowThread([&] {
        window_.Message(text, caption, icon);
        return true;
    });
}

bool WindowThreadPrompts::AskYesNo(const std::string& text, const std::string& caption) {
    return OnWindowThread([&] { return window_.AskYesNo(text, caption); });
}

std::optional<std::string> WindowThreadPrompts::AskTraceName(const std::string& proposed) {
    return OnWindowThread([&] { return window_.AskTraceName(proposed); });
}

std::optional<std::string> WindowThreadPrompts::AskCouponSerial() {
    return OnWindowThread([&] { return window_.AskCouponSerial(); });
}

}  // namespace orvik
