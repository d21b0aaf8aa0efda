// orvik: the operator's program for the MV300.
#include <QApplication>
#include <QStringList>
#include <vector>

#include "app/main_frame.h"
#include "app/station_ports.h"

namespace {

// Without an instrument every acquisition tells the operator so and hands
// back zeros, as the program does when no MV300 is connected.
class AbsentInstrument : public orvik::ProfileInstrument {
  public:
    explicit AbsentInstrument(orvik::OperatorPrompts* prompts) : prompts_(prompts) {}
    orvik::MeasuredProfile MeasureProfile(bool) override {
        if (prompts_) {
            prompts_->Message("Unable to open the TDR device", "Device not found");
        }
        return {values_, true};
    }
    orvik::OperatorPrompts* prompts_;
    std::vector<double> values_ = std::vector<double>(750, 0.0);
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Local AppWizard-Generated Applications");
    QApplication::setApplicationName("Orvik");

    orvik::StartOptions options;
    const QStringList arguments = QApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument.compare("Characterize", Qt::CaseInsensitive) == 0) {
            options.Characterize = true;
        } else if (argument.startsWith("--simulate")) {
            options.Simulated = true;
        } else if (!argument.startsWith("--")) {
            options.DocumentPaths.append(argument);
        }
    }
    AbsentInstrument instrument(nullptr);
    orvik::CMainFrame frame(options, instrument);
    instrument.prompts_ = nullptr;
    frame.LoadCriteriaLibrary();
    frame.show();
    frame.ProcessCommandLine(options.DocumentPaths);
    return application.exec();
}
