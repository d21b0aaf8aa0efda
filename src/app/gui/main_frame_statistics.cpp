// Action > Statistics: one window, over the database the station stores in.
#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "app/gui/statistics_window.h"

namespace orvik {

void CMainFrame::OnStatistics() {
    if (!statistics_) {
        const results::ResultsLocation location =
            results_ ? results_->Recorder().Target()
                     : *results::ParseResultsLocation(results::DefaultResultsPath());
        statistics_ = new StatisticsWindow(location, this);
        statistics_->setAttribute(Qt::WA_DeleteOnClose);
        connect(statistics_, &StatisticsWindow::OpenCollectionAsked, this,
                [this](const QString& path) { OpenCollection(path); });
    }
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
}

}  // namespace orvik
