#include "report/gui/report_frame.h"

#include "report/gui/csv_export_command.h"

#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QVBoxLayout>

#include "base/file_store.h"
#include "base/gui/prompt_dialogs.h"
#include "base/gui/save_file_dialog.h"
#include "collection/orvik_doc.h"
#include "report/csv_export.h"
#include "report/export_names.h"
#include "report/gui/report_view.h"

namespace orvik {

QString ReportWindowTitle(const std::string& title) {
    return PathToQt(title) + " - Report";
}

CReportFrame::CReportFrame(COrvikDoc& document, QObject* documentOwner,
                           const ReportPreferences& preferences, QWidget* parent)
    : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("reportFrame");
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    menu_ = new QMenuBar(body);
    QMenu* file = menu_->addMenu("&File");
    connect(file->addAction("Export &PDF (Letter)..."), &QAction::triggered, this,
            [this] { ExportPdf(ReportPaper::Letter); });
    connect(file->addAction("Export PDF (&A4)..."), &QAction::triggered, this,
            [this] { ExportPdf(ReportPaper::A4); });
    connect(file->addAction("Export &CSV..."), &QAction::triggered, this, &CReportFrame::ExportCsv);
    connect(file->addAction("&Print"), &QAction::triggered, this, &CReportFrame::Print);
    file->addSeparator();
    connect(file->addAction("&Close"), &QAction::triggered, this, &QWidget::close);
    layout->setMenuBar(menu_);
    view_ = new CReportView(document, preferences, body);
    layout->addWidget(view_, 1);
    status_ = new QLabel(body);
    status_->setObjectName("reportStatus");
    layout->addWidget(status_);
    setWidget(body);
    setWindowTitle(ReportWindowTitle(document.Title()));
    resize(900, 600);

    connect(view_, &CReportView::Changed, this, [this] {
        if (view_->Document()) {
            setWindowTitle(ReportWindowTitle(view_->Document()->Title()));
        }
        UpdateStatus();
    });
    if (documentOwner) {
        // By the time this is heard the collection is gone: drop it unread.
        connect(documentOwner, &QObject::destroyed, this, [this] {
            view_->DetachDocument();
            deleteLater();
        });
    }
    UpdateStatus();
}

void CReportFrame::UpdateStatus() {
    const QString text = view_->StatusText();
    status_->setText(text);
    status_->setVisible(!text.isEmpty());
}

bool CReportFrame::Print() {
    return PrintReport(view_->Content(), this, appendix_);
}

bool CReportFrame::ExportPdf(ReportPaper paper) {
    const COrvikDoc* document = view_->Document();
    const QString proposed = document ? QString::fromStdString(ProposedExportPath(
                                            document->Path(), document->Title(), ".pdf"))
                                      : QString();
    const QString path = AskSaveFileName(this, "Export PDF", proposed,
                                         {"PDF Files (*.pdf)", "All Files (*)"}, "pdf");
    if (path.isEmpty()) {
        return false;
    }
    const std::vector<StatisticsAppendixPage> appendix =
        appendix_ ? appendix_() : std::vector<StatisticsAppendixPage>();
    const Status written = WriteReportPdf(view_->Content(), path.toStdString(), paper, appendix);
    if (!written) {
        QMessageBox::warning(this, "Export PDF", QString::fromStdString(written.Error().Message));
        return false;
    }
    return true;
}

bool CReportFrame::ExportCsv() {
    return view_->Document() && ExportCollectionCsv(this, *view_->Document());
}

}  // namespace orvik
