#include "report/gui/report_painting.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>
#include <span>

#include "base/file_store.h"
#include "base/gui/prompt_dialogs.h"
#include "report/gui/appendix_painting.h"

namespace orvik {

QFont ReportFont(ReportMedium medium) {
    // A narrow face, a little smaller on paper, keeps "Job Number:" inside
    // the 0.75 inch between the paper's margin and the first tab stop.
    QFont font("Liberation Sans");
    font.setPointSizeF(medium == ReportMedium::Paper ? 8.0 : 9.0);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

ReportMetrics MetricsOf(QPaintDevice& device, const QFont& font, ReportMedium medium) {
    const QFontMetrics metrics(font, &device);
    ReportMetrics units{static_cast<double>(device.logicalDpiX()),
                        static_cast<double>(device.logicalDpiY()), metrics.lineSpacing(), medium};
    if (medium == ReportMedium::Paper) {
        // Printed from the paper's corner: the device is the whole sheet.
        units.PageWidth = device.width();
        units.PageHeight = device.height();
    }
    return units;
}

void PaintReportLines(QPainter& painter, const ReportPage& page, int fromY, int toY) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int ascent = metrics.ascent();
    const int gap = metrics.horizontalAdvance(' ');
    // Lines are placed top to bottom: skip straight to the first visible one.
    auto line =
        std::lower_bound(page.Lines.begin(), page.Lines.end(), fromY - metrics.lineSpacing(),
                         [](const PlacedLine& placed, int y) { return placed.Y < y; });
    for (; line != page.Lines.end() && line->Y < toY; ++line) {
        const std::vector<CellBox> boxes = CellBoxes(*line, gap);
        for (std::size_t i = 0; i < line->Cells.size(); ++i) {
            // A text too long for its column ends in an ellipsis rather than
            // running over the next one.
            const QString text =
                metrics.elidedText(ToQt(line->Cells[i]), Qt::ElideRight, boxes[i].Room);
            painter.drawText(boxes[i].X, line->Y + ascent, text);
        }
    }
}

namespace {

// On paper only 0.75 inch lies between the margin and the first tab stop:
// the font shrinks (down to 6 points) until the widest label of that column
// fits, so that every line's cells stay in their columns.
QFont PaperFont(QPaintDevice& device) {
    QFont font = ReportFont(ReportMedium::Paper);
    const double room = 0.75 * device.logicalDpiX();
    for (double points = font.pointSizeF(); points >= 6.0; points -= 0.5) {
        font.setPointSizeF(points);
        const QFontMetrics metrics(font, &device);
        if (metrics.horizontalAdvance("Boards Logged: ") < room) {
            break;
        }
    }
    return font;
}

}  // namespace

void PaintReportOnPaper(QPagedPaintDevice& device, const ReportContent& content,
                        ReportAppendix appendix) {
    QPainter painter(&device);
    const QFont font = PaperFont(device);
    painter.setFont(font);
    const ReportLayout layout = LayOutReport(content, MetricsOf(device, font, ReportMedium::Paper));
    for (std::size_t page = 0; page < layout.Pages.size(); ++page) {
        if (page > 0) {
            device.newPage();
        }
        PaintReportLines(painter, layout.Pages[page], 0, std::numeric_limits<int>::max());
    }
    if (!appendix.empty()) {
        PaintStatisticsAppendix(device, painter, appendix);
    }
}

bool PrintReportOn(QPrinter& printer, const ReportContent& content, ReportAppendix appendix) {
    printer.setDocName(kReportJobName);
    // Margins and tab stops are measured from the paper's edge.
    printer.setFullPage(true);
    if (!printer.isValid()) {
        return false;
    }
    PaintReportOnPaper(printer, content, appendix);
    return printer.printerState() != QPrinter::Error;
}

bool PrintReport(const ReportContent& content, QWidget* parent,
                 const std::function<std::vector<StatisticsAppendixPage>()>& appendix) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(kReportJobName);
    QPrintDialog dialog(&printer, parent);
    // The report makes its own pages; the job is printed whole.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const std::vector<StatisticsAppendixPage> pages =
        appendix ? appendix() : std::vector<StatisticsAppendixPage>();
    return PrintReportOn(printer, content, pages);
}

Status WriteReportPdf(const ReportContent& content, const std::string& path, ReportPaper paper,
                      ReportAppendix appendix) {
    // Drawn whole in memory, then saved as every file is saved: through a
    // link to its target, the old file kept until the new one is complete.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(kReportJobName);
        writer.setCreator("Orvik");
        writer.setResolution(300);
        writer.setPageSize(QPageSize(paper == ReportPaper::A4 ? QPageSize::A4 : QPageSize::Letter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        PaintReportOnPaper(writer, content, appendix);
    }
    const QByteArray& bytes = pdf.data();
    return SaveFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                              static_cast<std::size_t>(bytes.size())));
}

}  // namespace orvik
