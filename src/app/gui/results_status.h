#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "results/results_recorder.h"
#include "results/station_results.h"

class QLabel;
class QWidget;

namespace orvik {

// The results database as the main window shows it: the recorder that sends
// every filed trace, the status bar's count of measurements still waiting,
// the one message when the database refuses them, and the word on closing
// with some waiting. The recorder's reports arrive from its thread and are
// shown on the window thread.
class ResultsStatus : public QObject, public results::RecorderListener {
    Q_OBJECT
  public:
    // Sends to `target`; what cannot be sent waits in `outboxPath`.
    ResultsStatus(const results::ResultsLocation& target, const std::string& outboxPath,
                  QLabel& label, DiagnosticLog& log, QObject* parent = nullptr);
    // Keeps what still waits in the outbox, after a short last try.
    ~ResultsStatus() override;

    results::ResultsRecorder& Recorder() { return *recorder_; }
    results::StationResults& Station() { return *station_; }

    // How the operator is told; a message box unless a test says otherwise.
    std::function<void(const QString& text)> Tell;

    // Before the program closes: says how many measurements wait, if any.
    void SayWhatWaitsOnClose();
    // "N measurements wait for the results database", or empty.
    static QString WaitingText(std::size_t waiting);

    void WaitingChanged(std::size_t waiting) override;
    void Refused(const Failure& why) override;
    // Emits MeasurementsStored, from the recorder's thread: connected to a
    // window, it arrives queued on the window's own thread.
    void Stored(std::size_t count) override;

  signals:
    void MeasurementsStored();

  private:
    QLabel& label_;
    std::unique_ptr<results::ResultsRecorder> recorder_;
    std::unique_ptr<results::StationResults> station_;
};

inline constexpr const char* kResultsCaption = "Results database";

}  // namespace orvik
