#include "report/gui/text_report_command.h"

#include <QFileDialog>

#include "base/operator_prompts.h"
#include "collection/orvik_doc.h"
#include "report/text_report.h"

namespace orvik {

QString AskTextReportPath(QWidget* parent, const QString& proposed) {
    QFileDialog dialog(parent, kTextReportCaption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({"Text Report Files (*.txt)", "All Files (*.*)"});
    dialog.setDefaultSuffix("txt");
    if (!proposed.isEmpty()) {
        dialog.selectFile(proposed);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

bool WriteTextReportFile(const QString& path, const COrvikDoc& document,
                         const ReportPreferences& preferences, OperatorPrompts& prompts) {
    const std::string file = path.toStdString();
    const Status written = WriteTextReport(file, document.Items(), preferences);
    if (!written) {
        prompts.Message(TextReportFailureMessage(file, written.Error()), kTextReportCaption,
                        PromptIcon::Error);
    }
    return written.Ok();
}

}  // namespace orvik
