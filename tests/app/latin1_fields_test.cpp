// Text fields that fill the files: what Latin-1 cannot hold is refused with
// a message naming the character, and the rest reaches the files as Latin-1.
#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "app/gui/calibrate_dialog.h"
#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "base/gui/prompt_dialogs.h"
#include "collection/orvik_doc.h"
#include "criteria/gui/criteria_dialogs.h"
#include "criteria/gui/scripts_dialog.h"
#include "instrument/instrument_station.h"
#include "qt_environment.h"
#include "report/gui/preferences_dialog.h"
#include "simulator/simulated_instrument.h"
#include "station_fakes.h"
#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// The text of the message box that the next events bring up, which is then
// closed; empty when none comes within `wait` milliseconds.
QString NextMessage(int wait = 1000) {
    QString text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(5);
    QElapsedTimer waited;
    waited.start();
    while (text.isEmpty() && waited.elapsed() < wait) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return text;
}

// Types `text` as a keyboard with its characters on keys would.
void Type(QLineEdit& field, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&field, &press);
    }
}

const QString kOmega = QString::fromUtf8("Batch A \xCE\xA9mega");
const QString kToldOmega = QString::fromUtf8(
    "The character \"\xCE\xA9\" (U+03A9) cannot be stored: the files hold Latin-1 characters "
    "only.");

// Pasted and typed, a character outside Latin-1 leaves the field as it was
// and is named; Latin-1 text goes in whole.
void RefusesWhatLatin1CannotHold(QLineEdit& field, const char* which) {
    field.setText("kept");
    field.selectAll();
    field.insert(kOmega);  // as a paste
    EXPECT_EQ(field.text(), "kept") << which;
    EXPECT_EQ(NextMessage(), kToldOmega) << which;
    field.end(false);
    Type(field, QString::fromUtf8("\xE2\x82\xAC"));  // typed: the euro sign
    EXPECT_EQ(field.text(), "kept") << which;
    EXPECT_TRUE(NextMessage().startsWith(QString::fromUtf8("The character \"\xE2\x82\xAC\"")))
        << which;
    field.selectAll();
    Type(field, QString::fromUtf8("Zo\xC3\xAB M\xC3\xBCller"));
    EXPECT_EQ(FromQt(field.text()), "Zo\xEB M\xFCller") << which;
    EXPECT_TRUE(NextMessage(50).isEmpty()) << which;
}

TEST(Latin1Fields, EveryDialogThatFillsTheFilesRefusesOtherCharacters) {
    PreferencesDialog preferences(ReportPreferences(), false);
    for (int i = 0; i < 9; ++i) {
        RefusesWhatLatin1CannotHold(*preferences.Field(i), "Preferences");
    }
    TraceNameDialog traceName("Sample #: 1");
    RefusesWhatLatin1CannotHold(*traceName.findChild<QLineEdit*>("traceNameField"), "Trace Name");
    CouponSerialDialog serial;
    RefusesWhatLatin1CannotHold(*serial.findChild<QLineEdit*>("couponSerialField"), "Serial");
    testing::ScriptedPrompts prompts;
    CriterionEditorDialog editor(Criterion(), prompts);
    RefusesWhatLatin1CannotHold(*editor.Field(CriterionField::Name), "Criterion name");
}

TEST(Latin1Fields, ARefusedScriptDescriptionLeavesTheLibrarysTextAlone) {
    testing::ScriptedPrompts prompts;
    CriteriaLibrary library;
    ScriptsDialog dialog(library, prompts);
    dialog.show();
    QTest::mouseClick(dialog.Button("Create"), Qt::LeftButton);
    ASSERT_EQ(library.Scripts.size(), 1u);
    QLineEdit& description = *dialog.Field(ScriptField::Description);
    description.selectAll();
    description.insert(kOmega);
    EXPECT_EQ(NextMessage(), kToldOmega);
    // Not "Batch A ?mega": the script keeps its description.
    EXPECT_EQ(library.Scripts[0]->Description, "Untitled Script - 1");
    description.selectAll();
    Type(description, QString::fromUtf8("Pr\xC3\xBC"
                                        "fung"));
    EXPECT_EQ(library.Scripts[0]->Description,
              "Pr\xFC"
              "fung");
}

TEST(Latin1Fields, FileNamesAreUtf8WhateverTheFilesTextIs) {
    testing::TemporaryFolder folder;
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
    frame.ProcessCommandLine({});
    const std::string path = folder.File(
        "Pr\xC3\xBC"
        "fung.tdr");  // as the file system names it
    frame.ActiveChild()->Document().SetPath(path);
    ASSERT_TRUE(frame.SaveCollection(*frame.ActiveChild(), false));
    ASSERT_TRUE(std::filesystem::exists(path));
    frame.ActiveChild()->close();
    QApplication::processEvents();

    // A file that cannot be found is told in a message box: closed and failed.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << box->text().toStdString();
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(20);
    CChildFrame* reopened = frame.OpenCollection(QString::fromUtf8(path.c_str()));
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->windowTitle(), QString::fromUtf8("Pr\xC3\xBC"
                                                         "fung.tdr"));
}

TEST(Latin1Fields, AnOperatorsNameIsLatin1InTheInstrumentAndUtf8InTheLog) {
    VirtualClock clock;
    std::unique_ptr<sim::SimulatedDriverPort> port = sim::DefaultSimulatedInstrument(clock);
    StartOptions simulated;
    simulated.Simulated = true;  // the simulator's images, in their own folder
    CMainFrame frame{simulated, *port, clock};
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink);
    frame.SetDiagnosticLog(log);
    frame.StartInstrument();
    frame.Instrument()->SetDumpPath("");
    frame.ProcessCommandLine({});
    frame.ShowCalibrateDialog = [](CalibrateDialog& dialog) {
        Type(*dialog.findChild<QLineEdit*>("operator"), QString::fromUtf8("Zo\xC3\xAB"));
        dialog.accept();
    };
    frame.OnCalibrate();
    EXPECT_EQ(frame.Instrument()->Calibration().LastOperator(), "Zo\xEB");
    EXPECT_EQ(sink.Count(LogLevel::Info, "app", {"Calibration saved by Zo\xC3\xAB"}), 1u);
}

}  // namespace
}  // namespace orvik
