// The program's dialogs on a desktop: an X server with a window manager, so
// that a dialog gets the focus when it opens, Enter presses its default
// button and Alt+F4 closes it through the window manager. Keys and clicks go
// through the X server (xdotool), as an operator's do; the instrument works on
// its own thread with real pauses, as in the program. Run under
// scripts/desktop-session.sh.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <mutex>

#include "app/gui/main_frame.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "instrument/instrument_station.h"
#include "qt_environment.h"
#include "simulator/cable_attachment.h"
#include "simulator/simulated_driver_port.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// Input as the X server delivers it to whichever window has the focus.
void Xdotool(const QStringList& arguments) {
    EXPECT_EQ(QProcess::execute("xdotool", arguments), 0) << arguments.join(' ').toStdString();
}
void Keys(const QString& keys) {
    Xdotool({"key", "--clearmodifiers", keys});
}
QStringList ClickAt(const QWidget& widget) {
    const QPoint at = widget.mapToGlobal(widget.rect().center());
    return {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "click", "1"};
}

// Waits, with the events flowing, until `done` holds or `ms` have passed.
bool Within(int ms, const std::function<bool()>& done) {
    for (int waited = 0; !done() && waited < ms; waited += 20) {
        QTest::qWait(20);
    }
    return done();
}

// Opens a modal dialog with `open`, which returns once the dialog is closed,
// and drives it with `drive` as soon as the window manager has given it the
// focus. A dialog still open afterwards gets Escape, as an operator would
// press it, and failing that is closed by the test; so is any other dialog
// that comes up meanwhile, which the test reports by its title.
void WithDialog(const std::function<void()>& open, const std::function<void(QWidget&)>& drive) {
    QPointer<QDialog> dialog;
    bool seen = false;
    bool busy = false;
    int waited = 0;
    const auto shown = [&] { return dialog && dialog->isVisible(); };
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal == nullptr || modal == dialog || (busy && !seen)) {
            return;
        }
        if (seen) {
            ADD_FAILURE() << "a dialog nobody expected came up: "
                          << modal->windowTitle().toStdString();
            modal->reject();
            return;
        }
        if (!modal->isActiveWindow() && (waited += 50) < 5000) {
            return;  // the window manager has not given it the focus yet
        }
        dialog = modal;
        seen = true;
        busy = true;
        if (!modal->isActiveWindow()) {
            ADD_FAILURE() << "the dialog did not get the focus";
        } else {
            drive(*modal);
        }
        if (!Within(2000, [&] { return !shown(); })) {
            Keys("Escape");
        }
        if (!Within(2000, [&] { return !shown(); })) {
            ADD_FAILURE() << "the dialog stayed open after Escape";
            dialog->reject();
        }
        busy = false;
    });
    watch.start(50);
    open();
    EXPECT_TRUE(seen) << "no dialog came up";
}

// The library's criteria by name, in alphabetical order.
std::vector<std::string> Names(const CriteriaLibrary& library) {
    std::vector<std::string> names;
    for (const auto& criterion : library.Criteria) {
        names.push_back(criterion->Name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

sim::SimulatorOptions WarmInstrument() {
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    return options;
}

StartOptions ProgramOptions() {
    StartOptions options;
    options.Simulated = true;
    options.InstrumentThread = true;
    return options;
}

// The program on the simulated MV300 with its trigger port, one collection
// open, the library "SE 50", "Diff 100" and the script "Lot" in its own folder.
class Desktop : public ::testing::Test {
  protected:
    Desktop() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        Criterion& differential = library.AddCriterion();
        differential.Name = "Diff 100";
        differential.DoubleEnded = 1;
        Script& script = library.AddScript();
        script.Description = "Lot";
        script.PromptForSerial = 0;
        script.AddElement().CriterionId = 0;
        EXPECT_TRUE(library.Save(LibraryPath()));
        frame.LoadCriteriaLibrary(LibraryPath());
        frame.ProcessCommandLine({});
        frame.StartInstrument();
        frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
    }
    ~Desktop() override {
        Within(10000, [&] { return !frame.Station().InstrumentBusy(); });
    }
    std::string LibraryPath() const { return folder.File("criteria.dat"); }
    QAction* Action(const QString& text) {
        for (QAction* action : frame.findChildren<QAction*>()) {
            if (action->text().remove('&') == text) {  // access keys aside
                return action;
            }
        }
        ADD_FAILURE() << "no command " << text.toStdString();
        return new QAction(&frame);
    }

    testing::TemporaryFolder folder;
    SystemClock clock;
    sim::SimulatedDriverPort port{clock, WarmInstrument()};
    CMainFrame frame{ProgramOptions(), port, clock};
};

// The list has the focus, which makes its first row current without
// selecting it: Delete and Enter must not remove a criterion nobody picked.
TEST_F(Desktop, CriteriaManagerDeletesNothingThatWasNotPicked) {
    const auto before = Names(frame.Library());
    WithDialog([&] { Action("Criteria Editor")->trigger(); },
               [&](QWidget& manager) {
                   Xdotool(ClickAt(*manager.findChild<QPushButton*>("Delete")));
                   Keys("Return");
               });
    EXPECT_EQ(Names(frame.Library()), before);
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(LibraryPath()));
    EXPECT_EQ(Names(saved), before);
}

// Run is the default button; with no script picked it starts nothing.
TEST_F(Desktop, ScriptsDialogOpenedAndEnteredStartsNoScript) {
    WithDialog([&] { Action("Scripted Tests")->trigger(); }, [&](QWidget&) { Keys("Return"); });
    EXPECT_EQ(frame.ActiveDocument()->ActiveScript, nullptr);
    EXPECT_TRUE(frame.Selector().Enabled());
}

// The trigger poll goes on under a modal dialog; a pedal pressed there must
// not run a test behind it.
TEST_F(Desktop, PedalPressedWhileADialogIsOpenRunsNoTest) {
    frame.Selector().SelectIndex(0);
    frame.ApplySelectedCriterion();
    const COrvikDoc& document = *frame.ActiveDocument();
    WithDialog([&] { Action("About MV300...")->trigger(); },
               [&](QWidget&) {
                   port.PressInput(1);
                   QTest::qWait(3 * CTriggerPort::kPollPeriodMs);
                   port.ReleaseInput(1);
                   QTest::qWait(3 * CTriggerPort::kPollPeriodMs);
                   Keys("Escape");
               });
    Within(10000, [&] { return !frame.Station().InstrumentBusy(); });
    QTest::qWait(3 * CTriggerPort::kPollPeriodMs);
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::NoMeasurement);
}

// Alt+F4 right after Calibrate, while the instrument still measures a 50 ohm
// airline taken for 50.5 ohms: the dialog is left with what Cancel restores,
// not with the new calibration.
TEST_F(Desktop, CalibrationClosedWhileCalibratingKeepsTheValuesInForce) {
    {
        const std::lock_guard<std::recursive_mutex> lock(*frame.InstrumentLock());
        port.Instrument().Attach(MeasurementMode::SingleEnded,
                                 sim::CableAttachment::TerminatedAirline(50.0, 4.0));
    }
    const CalibrationSet before = frame.Instrument()->Calibration();
    WithDialog([&] { frame.OnCalibrate(); },
               [&](QWidget& dialog) {
                   dialog.findChild<QLineEdit*>("knownImpedance")->setText("50.5");
                   Xdotool(ClickAt(*dialog.findChild<QPushButton*>("calibrate")) +
                           QStringList{"key", "--clearmodifiers", "alt+F4"});
               });
    EXPECT_TRUE(Within(10000, [&] { return !frame.Station().InstrumentBusy(); }));
    EXPECT_EQ(frame.Instrument()->Calibration(), before);
}

}  // namespace
}  // namespace orvik
