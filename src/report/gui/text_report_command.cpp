#include "report/gui/text_report_command.h"

#include "base/gui/save_file_dialog.h"
#include "base/operator_prompts.h"
#include "collection/orvik_doc.h"
#include "report/text_report.h"

namespace orvik {

QString AskTextReportPath(QWidget* parent, const QString& proposed) {
    return AskSaveFileName(parent, kTextReportCaption, proposed,
                           {"Text Report Files (*.txt)", "All Files (*.*)"}, "txt");
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
