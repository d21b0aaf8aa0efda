#include "base/gui/save_file_dialog.h"

#include <QFileDialog>

namespace orvik {

QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                        const QStringList& filters, const QString& suffix) {
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(suffix);
    if (!proposed.isEmpty()) {
        dialog.selectFile(proposed);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

}  // namespace orvik
