#include "app/gui/results_status.h"

#include <QLabel>
#include <QMessageBox>

#include "base/gui/prompt_dialogs.h"

namespace orvik {
namespace {

// The last try to send what waits when the program closes.
constexpr std::chrono::seconds kClosingGrace{2};

results::RecorderOptions Options(const std::string& outboxPath,
                                 results::RecorderListener& listener) {
    results::RecorderOptions options;
    options.OutboxPath = outboxPath;
    options.Listener = &listener;
    return options;
}

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

ResultsStatus::ResultsStatus(const results::ResultsLocation& target, const std::string& outboxPath,
                             QLabel& label, DiagnosticLog& log, QObject* parent)
    : QObject(parent), label_(label) {
    Tell = [this](const QString& text) {
        QMessageBox::warning(label_.window(), kResultsCaption, text);
    };
    label_.hide();
    recorder_ = std::make_unique<results::ResultsRecorder>(target, Options(outboxPath, *this), log);
    station_ = std::make_unique<results::StationResults>(*recorder_);
}

ResultsStatus::~ResultsStatus() {
    recorder_->Close(kClosingGrace);
}

QString ResultsStatus::WaitingText(std::size_t waiting) {
    if (waiting == 0) {
        return {};
    }
    return waiting == 1 ? QString("1 measurement waits for the results database")
                        : QString("%1 measurements wait for the results database").arg(waiting);
}

void ResultsStatus::WaitingChanged(std::size_t waiting) {
    QMetaObject::invokeMethod(
        this,
        [this, waiting] {
            label_.setText(WaitingText(waiting));
            label_.setVisible(waiting > 0);
        },
        Qt::QueuedConnection);
}

void ResultsStatus::Refused(const Failure& why) {
    const QString text = Utf8(why.Message) +
                         (why.Detail.empty() ? "" : "\n(" + Utf8(why.Detail) + ")") +
                         "\n\nRecording to the collection goes on. The measurements wait on this "
                         "station and are sent when the database takes them again.";
    QMetaObject::invokeMethod(
        this, [this, text] { Tell(text); }, Qt::QueuedConnection);
}

void ResultsStatus::Stored(std::size_t) {
    emit MeasurementsStored();
}

void ResultsStatus::SayWhatWaitsOnClose() {
    const std::size_t waiting = recorder_->Waiting();
    if (waiting == 0) {
        return;
    }
    Tell(QString("%1 not reached the results database %2 yet. %3 kept on this station and sent "
                 "the next time Orvik starts.")
             .arg(waiting == 1 ? QString("1 measurement has")
                               : QString("%1 measurements have").arg(waiting))
             .arg(Utf8(recorder_->Target().Shown()))
             .arg(waiting == 1 ? "It is" : "They are"));
}

}  // namespace orvik
