#include "report/gui/csv_export_command.h"

#include <QMessageBox>
#include <span>

#include "base/file_store.h"
#include "base/gui/save_file_dialog.h"
#include "collection/orvik_doc.h"
#include "report/csv_export.h"
#include "report/export_names.h"

namespace orvik {

bool SaveCsvWithDialog(QWidget* parent, const QString& title, const std::string& csv,
                       const QString& proposed) {
    const QString path =
        AskSaveFileName(parent, title, proposed, {"CSV Files (*.csv)", "All Files (*)"}, "csv");
    if (path.isEmpty()) {
        return false;
    }
    const Status written = SaveFileAtomically(
        path.toStdString(),
        std::span(reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()));
    if (!written) {
        QMessageBox::warning(parent, title, QString::fromStdString(written.Error().Message));
        return false;
    }
    return true;
}

bool ExportCollectionCsv(QWidget* parent, const COrvikDoc& document) {
    return SaveCsvWithDialog(
        parent, "Export CSV", CollectionCsv(document.Items()),
        QString::fromStdString(ProposedExportPath(document.Path(), document.Title(), ".csv")));
}

bool ExportTraceCsv(QWidget* parent, const TraceRecord& trace, const std::string& documentPath) {
    return SaveCsvWithDialog(
        parent, "Export Trace CSV", TraceSamplesCsv(trace),
        QString::fromStdString(ProposedTracePath(documentPath, trace.Name, ".csv")));
}

}  // namespace orvik
