#include "report/gui/csv_export_command.h"

#include <QMessageBox>
#include <span>

#include "base/file_store.h"
#include "base/gui/save_file_dialog.h"
#include "collection/orvik_doc.h"
#include "report/csv_export.h"

namespace orvik {

bool SaveCsvWithDialog(QWidget* parent, const QString& title, const std::string& csv) {
    const QString path =
        AskSaveFileName(parent, title, QString(), {"CSV Files (*.csv)", "All Files (*)"}, "csv");
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
    return SaveCsvWithDialog(parent, "Export CSV", CollectionCsv(document.Items()));
}

bool ExportTraceCsv(QWidget* parent, const TraceRecord& trace) {
    return SaveCsvWithDialog(parent, "Export Trace CSV", TraceSamplesCsv(trace));
}

}  // namespace orvik
