// The main window's side of the results database: where it stores, the
// instrument it tells of, and the Preferences field that names the database.
#include <QLabel>
#include <QSettings>

#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "base/gui/prompt_dialogs.h"
#include "instrument/instrument_station.h"

namespace orvik {
namespace {

constexpr const char* kResultsKey = "results/url";

}  // namespace

QString CMainFrame::ResultsSetting() {
    return QSettings().value(kResultsKey).toString();
}

void CMainFrame::UseResults(const results::ResultsLocation& target, const std::string& outboxPath) {
    station_.SetFiledTraceListener(nullptr);
    results_ = std::make_unique<ResultsStatus>(target, outboxPath, *resultsLabel_, *log_);
    station_.SetFiledTraceListener(&results_->Station());
    TellResultsOfInstrument();
}

void CMainFrame::TellResultsOfInstrument() {
    if (!results_ || !instrumentStation_) {
        return;
    }
    const CalibrationSet& calibration = instrumentStation_->Calibration();
    results_->Station().SetInstrument(
        results::InstrumentOf(findings_, calibration.LastOperator(), calibration.LastDate()));
}

void CMainFrame::ChangeResultsDatabase(const QString& text) {
    const QString before = ResultsSetting();
    if (text.trimmed() == before) {
        return;
    }
    QSettings().setValue(kResultsKey, text.trimmed());
    if (!results_) {
        return;
    }
    // An empty field is the embedded file again; a text that names no
    // database is told, and the measurements keep going where they went.
    const std::string chosen =
        text.trimmed().isEmpty() ? results::DefaultResultsPath() : text.trimmed().toStdString();
    const Result<results::ResultsLocation> location = results::ParseResultsLocation(chosen);
    if (!location) {
        results_->Tell(QString::fromStdString(location.Error().Message +
                                              "\n\nMeasurements still go to " +
                                              results_->Recorder().Target().Shown() + "."));
        return;
    }
    results_->Recorder().Retarget(*location);
}

}  // namespace orvik
