// Gives `orvik-cli report --pdf` the Qt PDF writer when the tool is built with
// Qt: linking this file in is what installs it.
#include <QGuiApplication>
#include <memory>

#include "cli/report_command.h"
#include "report/gui/report_painting.h"

namespace orvik::cli {
namespace {

// Qt's own notices (a missing runtime folder and the like) are not the
// tool's output: standard error carries only the tool's one-line failures.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

Status WritePdf(const ReportContent& content, const std::string& path, bool a4,
                std::span<const StatisticsAppendixPage> appendix) {
    const QtMessageHandler previous = qInstallMessageHandler(&Quiet);
    std::unique_ptr<QGuiApplication> application;
    if (QGuiApplication::instance() == nullptr) {
        // Fonts need a platform; the tool never shows a window.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "orvik-cli";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    const Status written =
        WriteReportPdf(content, path, a4 ? ReportPaper::A4 : ReportPaper::Letter, appendix);
    qInstallMessageHandler(previous);
    return written;
}

[[maybe_unused]] const bool installed = (SetReportPdfWriter(&WritePdf), true);

}  // namespace
}  // namespace orvik::cli
