// The main window's side of the results database: filed traces reach it,
// the status bar counts what waits, a refusing database is told once while
// recording goes on, Preferences names another database and what waited
// goes there, and closing with measurements waiting says so.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTimer>

#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/main_frame.h"
#include "app/gui/results_status.h"
#include "journal/recovery_journal.h"
#include "qt_environment.h"
#include "report/gui/preferences_dialog.h"
#include "results/collection_measurements.h"
#include "results/results_store.h"
#include "station_fakes.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

using namespace std::chrono_literals;

class ResultsWindow : public ::testing::Test {
  protected:
    ResultsWindow() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        EXPECT_TRUE(library.Save(folder.File("criteria.dat")).Ok());
        frame.LoadCriteriaLibrary(folder.File("criteria.dat"));
        frame.ProcessCommandLine({});
        emit frame.SelectorWidget()->activated(0);
    }
    ~ResultsWindow() override { QSettings().remove("results/url"); }

    void Use(const std::string& target) {
        frame.UseResults(results::LocationOrUnusable(target), folder.File("outbox.sqlite"));
        frame.Results()->Tell = [this](const QString& text) { told.append(text); };
    }
    void Record(int count) {
        for (int n = 0; n < count; ++n) {
            instrument.level = 50.0 + n * 0.1;
            frame.Station().RunTest(*frame.ActiveDocument());
            frame.Station().RecordTest(*frame.ActiveDocument());
        }
    }
    // Lets the recorder's reports reach the window until `done` holds.
    template <class Condition>
    bool Eventually(Condition done) {
        for (int wait = 0; wait < 500 && !done(); ++wait) {
            QApplication::processEvents();
            std::this_thread::sleep_for(10ms);
        }
        QApplication::processEvents();
        return done();
    }
    std::size_t StoredIn(const std::string& path) {
        results::StoreProblem problem;
        auto store = results::OpenResultsStore(*results::ParseResultsLocation(path), problem);
        return store ? store.Value()->Query({})->size() : 0;
    }
    QLabel& Label() { return *frame.findChild<QLabel*>("resultsLabel"); }

    testing::TemporaryFolder folder;
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
    QStringList told;
    results::StoreProblem problem = results::StoreProblem::None;
};

TEST_F(ResultsWindow, FiledTracesAreStoredAndWhatWaitsIsCountedAndToldOnClosing) {
    const std::string database = folder.File("results.sqlite");
    Use(database);
    Record(2);
    // The count reaches the status bar after the database has the rows.
    EXPECT_TRUE(Eventually([&] { return StoredIn(database) == 2 && Label().isHidden(); }));
    EXPECT_TRUE(Label().isHidden());

    // The server goes away: the next traces wait, and the status bar says so.
    frame.Results()->Recorder().Retarget(*results::ParseResultsLocation(
        "postgresql://orvik@/results?host=" + folder.File("no-server")));
    Record(2);
    // The second trace joins the first in the outbox a moment later.
    EXPECT_TRUE(Eventually([&] {
        return !Label().isHidden() &&
               Label().text() == "2 measurements wait for the results database";
    }));
    EXPECT_EQ(Label().text(), "2 measurements wait for the results database");
    EXPECT_EQ(frame.ActiveDocument()->Items().size(), 4u);
    EXPECT_TRUE(told.isEmpty()) << "a server that cannot be reached is no refusal";

    frame.ActiveDocument()->SetModified(false);
    EXPECT_TRUE(frame.close());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(
        told[0].startsWith("2 measurements have not reached the results database "
                           "postgresql://orvik@/results"))
        << told[0].toStdString();
    EXPECT_TRUE(told[0].endsWith("sent the next time Orvik starts."));
}

TEST_F(ResultsWindow, ARefusingDatabaseIsToldOnceAndPreferencesSendWhatWaitedElsewhere) {
    const std::string newer = folder.File("newer.sqlite");
    {
        results::StoreProblem problem;
        auto store = results::OpenResultsStore(*results::ParseResultsLocation(newer), problem);
        ASSERT_TRUE(store.Ok());
        auto raw = results::Connect(*results::ParseResultsLocation(newer), problem);
        ASSERT_TRUE((*raw)->ExecuteScript("UPDATE orvik_schema SET version = 7").Ok());
    }
    Use(newer);
    Record(3);
    EXPECT_TRUE(Eventually([&] { return Label().text().startsWith("3 measurements"); }));
    EXPECT_EQ(frame.ActiveDocument()->Items().size(), 3u) << "recording goes on";
    ASSERT_EQ(told.size(), 1) << "told once, not per trace";
    EXPECT_TRUE(told[0].contains("was made by a newer Orvik (schema version 7"))
        << told[0].toStdString();

    // File > Preferences names another database: what waited goes there.
    const std::string other = folder.File("other.sqlite");
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget())) {
            ASSERT_NE(dialog->ResultsField(), nullptr);
            dialog->ResultsField()->setText(QString::fromStdString(other));
            dialog->accept();
        }
    });
    answer.start(20);
    for (QAction* action : frame.findChildren<QAction*>()) {
        if (action->text() == "P&references") {
            action->trigger();
        }
    }
    answer.stop();
    EXPECT_EQ(CMainFrame::ResultsSetting().toStdString(), other);
    EXPECT_TRUE(Eventually([&] { return StoredIn(other) == 3; }));
    EXPECT_TRUE(Eventually([&] { return Label().isHidden(); }));
    EXPECT_EQ(told.size(), 1);
}

// A program died with traces the database may not have: recovering its
// collection at the next start sends them, and those it had are not stored twice.
TEST_F(ResultsWindow, ARecoveredCollectionsTracesAreSentOnce) {
    const std::string database = folder.File("results.sqlite");
    const std::string recovery = folder.File("recovery");
    {
        COrvikDoc died;
        RecoveryJournal journal(recovery, died);
        for (const char* name : {"Sample #: 1", "Sample #: 2", "Sample #: 3"}) {
            auto trace = std::make_unique<TraceRecord>();
            trace->Name = name;
            died.AppendItem(std::move(trace));
            died.UpdateAllViews();
        }
        // The database took the first before the program died.
        auto store = results::OpenResultsStore(*results::ParseResultsLocation(database), problem);
        ASSERT_TRUE(store.Ok());
        ASSERT_TRUE(store.Value()->Store(results::MeasurementsOf(died.Items(), {})).Ok());
        ASSERT_TRUE(store.Value()->Query({})->size() == 3u);
    }
    const std::string fresh = folder.File("fresh.sqlite");
    Use(fresh);
    frame.SetRecoveryFolder(recovery);
    frame.AskRecovery = [](const QStringList& offers) {
        return QList<CMainFrame::RecoveryChoice>(offers.size(),
                                                 CMainFrame::RecoveryChoice::Recover);
    };
    frame.OfferRecovery();
    EXPECT_TRUE(Eventually([&] { return StoredIn(fresh) == 3; }));
    // The first database again: all three were there, none is stored twice.
    frame.Results()->Recorder().Retarget(*results::ParseResultsLocation(database));
    frame.Results()->Station().FileCollection(*frame.ActiveDocument());
    EXPECT_TRUE(frame.Results()->Recorder().Flush(5s));
    EXPECT_EQ(StoredIn(database), 3u);
}

}  // namespace
}  // namespace orvik
