#pragma once

#include <QFont>
#include <functional>
#include <span>
#include <string>

#include "base/failure.h"
#include "report/report_layout.h"
#include "report/statistics_appendix.h"

class QPagedPaintDevice;
class QPainter;
class QPaintDevice;
class QPrinter;

namespace orvik {

inline constexpr const char* kReportJobName = "Orvik Report";

enum class ReportPaper { Letter, A4 };

// The font reports are drawn with; the line height follows it on each device.
QFont ReportFont(ReportMedium medium = ReportMedium::Screen);

// The layout units of a device drawn on with `font`.
ReportMetrics MetricsOf(QPaintDevice& device, const QFont& font, ReportMedium medium);

// Draws the lines of one page whose tops lie in [fromY, toY), the painter's
// font already set.
void PaintReportLines(QPainter& painter, const ReportPage& page, int fromY, int toY);

// The statistics pages printed after a report; none unless the operator
// asked for them.
using ReportAppendix = std::span<const StatisticsAppendixPage>;

// Draws the whole report on paper, ending each of its pages on the device, so
// that the report's own page breaks are the job's, then the appendix's
// pages. Origin: the paper's corner.
void PaintReportOnPaper(QPagedPaintDevice& device, const ReportContent& content,
                        ReportAppendix appendix = {});

// The print dialog, then one job named "Orvik Report"; false when cancelled
// or the printer could not be started. `appendix` is asked for its pages
// only once the dialog is accepted.
bool PrintReport(const ReportContent& content, QWidget* parent,
                 const std::function<std::vector<StatisticsAppendixPage>()>& appendix = {});
// Prints on a printer already chosen (no dialog).
bool PrintReportOn(QPrinter& printer, const ReportContent& content, ReportAppendix appendix = {});

// The paper layout as a PDF with its fonts embedded, written through a
// temporary file: an existing file survives a failure.
Status WriteReportPdf(const ReportContent& content, const std::string& path,
                      ReportPaper paper = ReportPaper::Letter, ReportAppendix appendix = {});

}  // namespace orvik
