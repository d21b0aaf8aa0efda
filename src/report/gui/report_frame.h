#pragma once

#include <QMdiSubWindow>
#include <functional>
#include <vector>

#include "report/gui/report_painting.h"

class QLabel;
class QMenuBar;

namespace orvik {

class COrvikDoc;
class CReportView;
struct ReportPreferences;

// A report window: a further window on a collection, with its own File menu
// (Export PDF, Export CSV, Print, Close) and a status line for what the report could not
// show. It closes itself when the collection's window goes.
class CReportFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    // `documentOwner` is the object whose destruction ends the collection.
    CReportFrame(COrvikDoc& document, QObject* documentOwner, const ReportPreferences& preferences,
                 QWidget* parent = nullptr);

    CReportView& View() const { return *view_; }
    QMenuBar* Menu() const { return menu_; }
    QLabel* StatusLine() const { return status_; }

    // What prints after the report: the statistics pages, asked for each
    // time the report is printed or exported; none without a source.
    using AppendixSource = std::function<std::vector<StatisticsAppendixPage>()>;
    void SetAppendix(AppendixSource source) { appendix_ = std::move(source); }

    // The File menu's commands.
    bool Print();
    // Asks for a file name and writes the paper layout as a PDF; false when
    // cancelled or the file could not be written (the operator is told why).
    bool ExportPdf(ReportPaper paper);
    // Asks for a file name and writes the collection's traces as CSV.
    bool ExportCsv();

  private:
    void UpdateStatus();

    AppendixSource appendix_;
    CReportView* view_;
    QMenuBar* menu_;
    QLabel* status_;
};

// The title of a report window on the collection called `title`.
QString ReportWindowTitle(const std::string& title);

}  // namespace orvik
