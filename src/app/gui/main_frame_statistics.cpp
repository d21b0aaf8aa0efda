// Action > Statistics: one window, over the database the station stores in;
// and the same statistics after a printed report.
#include <QApplication>
#include <QPointer>
#include <QScopeGuard>

#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "app/gui/statistics_window.h"
#include "app/statistics_appendix.h"
#include "collection/orvik_doc.h"
#include "report/gui/preferences_dialog.h"
#include "report/gui/report_frame.h"

namespace orvik {

results::ResultsLocation CMainFrame::StatisticsLocation() const {
    return results_ ? results_->Recorder().Target()
                    : *results::ParseResultsLocation(results::DefaultResultsPath());
}

void CMainFrame::OnStatistics() {
    if (!statistics_) {
        statistics_ = new StatisticsWindow(StatisticsLocation(), this);
        statistics_->setAttribute(Qt::WA_DeleteOnClose);
        connect(statistics_, &StatisticsWindow::OpenCollectionAsked, this,
                [this](const QString& path) { OpenCollection(path); });
        if (results_) {
            // Heard from the recorder's thread; the window reads on its own.
            connect(results_.get(), &ResultsStatus::MeasurementsStored, statistics_,
                    &StatisticsWindow::MeasurementsArrived, Qt::QueuedConnection);
        }
    }
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
}

void CMainFrame::AttachStatisticsAppendix(CReportFrame& report, CChildFrame& child) {
    // Asked at each print, so that the Preferences choice of the moment and
    // the database's latest measurements count.
    report.SetAppendix([this, child = QPointer<CChildFrame>(&child)] {
        if (!StatisticsAppendixWanted() || !child) {
            return std::vector<StatisticsAppendixPage>();
        }
        const results::ResultsLocation location = StatisticsLocation();
        // Read here, after the print dialog: a server that does not answer
        // can take the connection's own wait of some seconds, so the pointer
        // says the program is working meanwhile.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        return StatisticsAppendix(child->Document().Items(), [&location] {
            results::StoreProblem problem = results::StoreProblem::None;
            return results::OpenResultsStore(location, problem);
        });
    });
}

}  // namespace orvik
