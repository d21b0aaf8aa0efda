// The Calibration dialog on the simulated instrument, driven without exec():
// its opening state, mode switching, Calibrate twice, Cancel and Save, and
// the main window's Calibrate command writing the store.
#include "app/gui/calibrate_dialog.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/gui/main_frame.h"
#include "chart/gui/xgraph_widget.h"
#include "collection/orvik_doc.h"
#include "instrument/image_folders.h"
#include "instrument/store_layout.h"
#include "menu_items.h"
#include "qt_environment.h"
#include "script/script.h"
#include "simulator/factory_calibration.h"
#include "simulator/gui/simulator_menu_widget.h"
#include "simulator/physics_factory.h"
#include "simulator/simulated_instrument.h"
#include "station_fakes.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

class CalibrateWindow : public ::testing::Test {
  protected:
    void Start(bool characterize) {
        StartUpOptions options;
        options.commandLine = characterize ? "orvik Characterize" : "orvik";
        options.imageFolder = InstrumentImageFolder(ImageSet::Simulator);
        station.StartUp(options);
        station.SetDumpPath("");
        session.emplace(station);
        dialog = std::make_unique<CalibrateDialog>(
            *session, &current, prompts, [this](const std::function<void()>& work) {
                if (whileWorking) {
                    whileWorking();  // what reaches the window while the instrument works
                }
                work();
            });
    }
    template <class Widget>
    Widget* Child(const char* name) {
        return dialog->findChild<Widget*>(name);
    }
    void Click(const char* button) {
        QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton);
    }
    void Type(const char* field, const QString& text) { Child<QLineEdit>(field)->setText(text); }
    QString Text(const char* label) { return Child<QLabel>(label)->text(); }

    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> port = sim::DefaultSimulatedInstrument(clock);
    testing::ScriptedPrompts prompts;
    InstrumentStation station{*port, clock, prompts};
    std::optional<CalibrationSession> session;
    TraceRecord current;
    std::unique_ptr<CalibrateDialog> dialog;
    std::function<void()> whileWorking;
};

TEST_F(CalibrateWindow, OpensSingleEndedOnTheCurrentTrace) {
    std::vector<double> profile(750, 48.0);
    current.FillFromAcquisition(nullptr, profile, 0);
    Start(false);
    EXPECT_TRUE(Child<QRadioButton>("singleEnded")->isChecked());
    const CalibrationSet& calibration = station.Calibration();
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.2f %.2f", calibration.Divisor(kSingle),
                  calibration.CalibrationConstant(kSingle));
    EXPECT_EQ(Text("calibrationConstant"), expected);
    EXPECT_EQ(Text("measuredImpedance"), "");
    EXPECT_EQ(Child<QLineEdit>("airlineLength")->text(), "4");
    EXPECT_EQ(Child<QLineEdit>("knownImpedance")->text(), "0");
    EXPECT_EQ(Text("lastOperator"), QString::fromLatin1(calibration.LastOperator().c_str()));
    EXPECT_TRUE(Child<QPushButton>("reset")->isHidden());
    EXPECT_FALSE(Child<QPushButton>("eoc")->isHidden());

    XGraphWidget& chart = dialog->Chart();
    EXPECT_FALSE(chart.isEnabled());
    EXPECT_EQ(chart.CurveAt(0).Label, "Trace");
    EXPECT_EQ(chart.CurveAt(0).Colour, 0xC87828u);
    EXPECT_EQ(chart.CurveAt(0).Count(), 750);
    EXPECT_EQ(chart.YAxisAt(0).Title, "Ohms");
    EXPECT_EQ(chart.XAxisAt(0).Title, "Inches");
    EXPECT_EQ(chart.YAxisAt(0).DataMax, 100.0);
}

// On the simulator the dialog reaches the Simulator menu itself (the main
// window's menus are out of reach while it is open): an open cable's end for
// eoc, an airline for Verify.
TEST_F(CalibrateWindow, TheSimulatorMenuIsWithinReach) {
    Start(false);
    EXPECT_EQ(dialog->windowTitle(), "Calibration");
    QPushButton* button = Child<QPushButton>("simulator");
    EXPECT_TRUE(button->isHidden()) << "nothing to attach on a real instrument";
    QMenu menu;
    new sim::SimulatorMenuWidget(menu, *port);
    dialog->OfferSimulatorMenu(menu);
    dialog->show();
    ASSERT_TRUE(button->isVisible());
    QWidget* popup = nullptr;
    QTimer::singleShot(100, [&popup] {
        popup = QApplication::activePopupWidget();
        if (popup != nullptr) {
            popup->close();
        }
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(popup != nullptr);
    EXPECT_EQ(popup, &menu);

    auto attach = [&menu](const char* item) {
        QAction* cable = testing::MenuItem(menu, "Single-ended cable");
        ASSERT_NE(cable, nullptr);
        QAction* action = testing::MenuItem(*cable->menu(), item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    };
    auto failed = [this] {
        return std::count_if(prompts.messages.begin(), prompts.messages.end(), [](auto& shown) {
            return shown.text.starts_with("Cable length failed - retry");
        });
    };
    attach("Short circuit");
    Click("eoc");
    EXPECT_EQ(failed(), 1);
    attach("Nothing (open)");
    Click("eoc");
    EXPECT_EQ(failed(), 1) << prompts.messages.back().text;
    attach("Calibration airline, 50 / 100 ohm, 4 inches");
    Type("knownImpedance", "50");
    Click("verify");
    EXPECT_NEAR(Text("measuredImpedance").section(' ', 0, 0).toDouble(), 50.0, 1.0);
    dialog->reject();
}

TEST_F(CalibrateWindow, SwitchModesCalibrateTwiceAndCancel) {
    Start(true);
    const CalibrationSet before = station.Calibration();
    EXPECT_FALSE(Child<QPushButton>("reset")->isHidden());
    Type("knownImpedance", "33");  // typed, not taken: the mode switch refreshes it
    QTest::mouseClick(Child<QRadioButton>("differential"), Qt::LeftButton);
    EXPECT_EQ(session->Mode(), kDifferential);
    EXPECT_EQ(dialog->Chart().YAxisAt(0).DataMax, 200.0);
    EXPECT_EQ(Child<QLineEdit>("knownImpedance")->text(), "0");

    port->Instrument().Attach(kDifferential, sim::CableAttachment::TerminatedAirline(100.0, 4.0));
    Type("knownImpedance", "100");
    Click("calibrate");
    Click("calibrate");
    ASSERT_EQ(session->Points().All().size(), 1u);
    EXPECT_EQ(session->Points().All()[0].Count, 2);
    EXPECT_TRUE(Text("measuredImpedance").endsWith(" Ohms"));
    EXPECT_NEAR(Text("measuredImpedance").section(' ', 0, 0).toDouble(), 100.0, 1.0);
    EXPECT_EQ(dialog->Chart().CurveAt(0).Count(), 300);
    EXPECT_NE(station.Calibration(), before);

    Click("cancel");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(station.Calibration(), before);
}

TEST_F(CalibrateWindow, FieldWithoutANumberIsToldAndNothingMeasured) {
    Start(false);
    const int transfers = port->TransferCount();
    Type("airlineLength", "four");
    Click("verify");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please enter a number.");
    EXPECT_EQ(port->TransferCount(), transfers);
}

TEST_F(CalibrateWindow, SaveTakesTheOperator) {
    Start(false);
    Type("operator", "Jane");
    Click("save");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->OperatorName(), "Jane");
}

// The window answers while the instrument works, so the close box (or
// Alt+F4) can reach it in the middle of a Calibrate: the dialog closes once
// the operation has ended, and Cancel then puts back what it changed.
TEST_F(CalibrateWindow, ClosedDuringAnOperationCancelsAfterIt) {
    Start(false);
    dialog->show();
    const CalibrationSet before = station.Calibration();
    port->Instrument().Attach(kSingle, sim::CableAttachment::TerminatedAirline(50.0, 4.0));
    Type("knownImpedance", "80");
    whileWorking = [this] { dialog->close(); };
    Click("calibrate");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(station.Calibration(), before);
}

// Numbers go back into their fields with every digit: taking them again for
// a second Calibrate gives the same known impedance, so one point of two.
TEST_F(CalibrateWindow, NumberFieldsKeepEveryDigit) {
    Start(false);
    port->Instrument().Attach(kSingle, sim::CableAttachment::TerminatedAirline(50.0, 4.0));
    Type("knownImpedance", "50.1234567");
    Type("airlineLength", "4.000000001");
    Click("calibrate");
    EXPECT_EQ(Child<QLineEdit>("knownImpedance")->text(), "50.1234567");
    EXPECT_EQ(Child<QLineEdit>("airlineLength")->text(), "4.000000001");
    Click("calibrate");
    ASSERT_EQ(session->Points().All().size(), 1u);
    EXPECT_EQ(session->Points().All()[0].Count, 2);
}

// On the window thread, and with the instrument work on the program's worker.
class CalibrateCommand : public ::testing::TestWithParam<bool> {};

TEST_P(CalibrateCommand, SavedDialogWritesTheStore) {
    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> port = sim::DefaultSimulatedInstrument(clock);
    StartOptions options{{}, "", true};
    options.InstrumentThread = GetParam();
    CMainFrame frame{options, *port, clock};
    frame.StartInstrument();
    frame.Instrument()->SetDumpPath("");
    frame.ProcessCommandLine({});
    frame.Station().SetLiveMode(true);
    port->Instrument().Attach(kSingle, sim::CableAttachment::TerminatedAirline(50.0, 4.0));
    frame.ShowCalibrateDialog = [](CalibrateDialog& dialog) {
        dialog.findChild<QLineEdit*>("knownImpedance")->setText("50");
        dialog.findChild<QLineEdit*>("operator")->setText("Jane");
        dialog.OnCalibrate();
        dialog.accept();
    };
    frame.OnCalibrate();
    EXPECT_FALSE(frame.Station().LiveMode());
    EXPECT_EQ(PageText(port->Instrument().Store().Read(4)), "Jane");
    EXPECT_EQ(PageText(port->Instrument().Store().Read(5)).size(), 25u);
    EXPECT_EQ(frame.Instrument()->Calibration().LastOperator(), "Jane");
    EXPECT_NEAR(frame.Instrument()->Calibration().CalibrationConstant(kSingle),
                sim::PhysicsFactoryValues(kSingle).CalibrationConstant, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Threads, CalibrateCommand, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? "InstrumentThread" : "WindowThread";
                         });

class CalibrateMenuCommand : public ::testing::Test {
  protected:
    CalibrateMenuCommand() {
        frame.StartInstrument();
        frame.Instrument()->SetDumpPath("");
        frame.ProcessCommandLine({});
        frame.ShowCalibrateDialog = [this](CalibrateDialog& dialog) {
            ++dialogs;
            dialog.findChild<QLineEdit*>("operator")->setText("Jane");
            dialog.accept();
        };
    }
    QAction* Calibrate() {
        for (QAction* action : frame.findChildren<QAction*>()) {
            if (QString(action->text()).remove('&') == "Calibrate") {
                return action;
            }
        }
        return nullptr;
    }
    // The next modal box: its caption and text kept, then closed with `button`.
    void Answer(QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            box->button(button)->click();
        });
    }

    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> port = sim::DefaultSimulatedInstrument(clock);
    CMainFrame frame{StartOptions{{}, "", true}, *port, clock};
    int dialogs = 0;
    QString caption;
    QString text;
};

TEST_F(CalibrateMenuCommand, AsksBeforeStoppingARunningScript) {
    ASSERT_NE(Calibrate(), nullptr);
    EXPECT_TRUE(Calibrate()->isEnabled());
    Script script;
    script.PromptForSerial = 0;
    script.AddElement().CriterionId = 1;
    COrvikDoc& document = *frame.ActiveDocument();
    ASSERT_TRUE(frame.Station().Scripts().Start(document, script));
    Answer(QMessageBox::No);
    Calibrate()->trigger();
    EXPECT_EQ(caption, "Stop running script?");
    EXPECT_EQ(dialogs, 0);
    EXPECT_NE(document.ActiveScript, nullptr);
    Answer(QMessageBox::Yes);
    Calibrate()->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(document.ActiveScript, nullptr);
}

TEST_F(CalibrateMenuCommand, LiveModeStopsAndWaitsBeforeTheDialog) {
    frame.Station().SetLiveMode(true);
    const std::int64_t start = clock.NowMs();
    frame.ShowCalibrateDialog = [this, start](CalibrateDialog& dialog) {
        EXPECT_FALSE(frame.Station().LiveMode());
        EXPECT_GE(clock.NowMs() - start, 200);
        dialog.reject();
    };
    Calibrate()->trigger();
    EXPECT_EQ(PageText(port->Instrument().Store().Read(4)), sim::kFactoryOperator);
}

TEST_F(CalibrateMenuCommand, OffersTheSimulatorMenu) {
    frame.ShowCalibrateDialog = [this](CalibrateDialog& dialog) {
        auto* button = dialog.findChild<QPushButton*>("simulator");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->menu(), frame.SimulatorMenu());
        dialog.reject();
    };
    Calibrate()->trigger();
}

TEST_F(CalibrateMenuCommand, APageThatCannotBeWrittenIsToldByNumber) {
    port->Instrument().FailPageWrites(5);
    Answer(QMessageBox::Ok);
    Calibrate()->trigger();
    EXPECT_EQ(caption, "Calibration not saved");
    EXPECT_EQ(text,
              "The calibration was not saved: page 5 of the instrument's store could not be "
              "written.\nThe instrument keeps its old calibration.\nUntil it ends, this "
              "program measures with the new calibration.");
    EXPECT_EQ(PageText(port->Instrument().Store().Read(4)), sim::kFactoryOperator);
    EXPECT_EQ(frame.Instrument()->Calibration().LastOperator(), sim::kFactoryOperator);
}

}  // namespace
}  // namespace orvik
