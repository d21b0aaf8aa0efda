#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

#include "app/gui/instrument_worker.h"
#include "app/test_station.h"
#include "base/clock.h"
#include "base/diagnostic_log.h"
#include "base/gui/operator_prompts_dialog.h"
#include "base/station_ports.h"
#include "criteria/criteria_library.h"
#include "criteria/criterion_selector.h"
#include "instrument/device_startup.h"
#include "instrument/serialized_driver_port.h"
#include "instrument/trigger_port.h"
#include "results/results_location.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;

namespace orvik {

class CalibrateDialog;
class CriteriaManagerDialog;
class ResultsStatus;
class LeftoverJournal;
class RecoveryJournal;
class Script;
class ScriptsDialog;
class StatisticsWindow;

class CChildFrame;
class CReportFrame;
class COrvikDoc;
class CriteriaSelectorWidget;
class MainToolBar;
class DriverPort;
class InstrumentStation;

// How the program was started.
struct StartOptions {
    QStringList DocumentPaths;  // collections to open; a new one when empty
    std::string CommandLine;    // the whole command line, for the "Characterize" word
    bool Simulated = false;
    // Instrument work on a worker thread, as the program runs it; in place
    // (on the window thread) otherwise.
    bool InstrumentThread = false;
    // The real instrument in use, for the status bar ("MV300 on bus 1,
    // address 7, serial ..."; empty when none has been opened). Asked after
    // start-up and then every second.
    std::function<std::string()> InstrumentName = nullptr;
};

// The main window: menus, toolbar with the criterion selector, status bar, the
// collection windows and the two 100 ms timers. It shows state and forwards
// commands; the testing logic is the TestStation's.
class CMainFrame : public QMainWindow, public StationHost, public TriggerPortListener {
    Q_OBJECT
  public:
    // The program: the instrument and the trigger port are reached through
    // `port`; every pause of the operating flow and the instrument passes on `clock`.
    CMainFrame(const StartOptions& options, DriverPort& port, Clock& clock,
               QWidget* parent = nullptr);
    // Without an instrument stack: every Run Test measures through `instrument`.
    CMainFrame(const StartOptions& options, ProfileInstrument& instrument, Clock& clock,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The instrument side of start-up: trigger port, images (with the
    // "Initializing TDR" window), stored calibration; starts the trigger poll
    // when a trigger port was opened.
    StartUpFindings StartInstrument();
    InstrumentStation* Instrument() const { return instrumentStation_.get(); }
    bool TriggerPollRunning() const;

    void StopTriggerPoll() override;
    void TriggerRunTest() override;
    void TriggerRecordTest() override;

    // Where the collections and the criteria library record what the operator
    // is not told; nothing is recorded until a log is given.
    void SetDiagnosticLog(DiagnosticLog& log);

    // Loads criteria.dat and fills the selector; tells the operator about a
    // damaged file, which is then kept until the operator agrees to replace it.
    void LoadCriteriaLibrary(const std::string& path = kCriteriaFileName);
    // Opens the collections named on the command line, or a new one.
    void ProcessCommandLine(const QStringList& paths);

    COrvikDoc* ActiveDocument() override;
    void PostApplySelectedCriterion() override;
    bool IsOpen(const COrvikDoc& document) override;
    void Notify(const StationNotice& notice) override;
    std::vector<COrvikDoc*> OpenDocuments() override;
    // Any modal window of the program: a dialog, a message box, a file chooser.
    bool ModalWindowOpen() override;

    // Held by whoever changes the simulated instrument from the window
    // thread while the worker may be talking to it; none without a port.
    std::recursive_mutex* InstrumentLock();

    TestStation& Station() { return station_; }
    CriteriaLibrary& Library() { return library_; }
    CriteriaSelectorModel& Selector() { return selector_; }
    CriteriaSelectorWidget* SelectorWidget() const { return selectorWidget_; }
    CChildFrame* ActiveChild() const;
    QList<CChildFrame*> Children() const;
    QMenu* SimulatorMenu() const { return simulatorMenu_; }
    QMenu* WindowMenu() const { return windowMenu_; }

    // File commands; each returns the collection window it worked on.
    CChildFrame* NewCollection();
    CChildFrame* OpenCollection(const QString& path);
    bool SaveCollection(CChildFrame& child, bool askForName);

    // The size and place the window had when the program last closed.
    void RestoreWindowGeometry();
    static constexpr const char* kGeometrySetting = "Window/geometry";

    void SetStatusText(const QString& text);
    QString StatusText() const;
    // The status bar's pane that says where the active collection's script stands.
    QLabel* ScriptProgressLabel() const { return scriptLabel_; }
    // The status bar's lasting warning that some collection's journal cannot
    // be written; null until the window is built.
    QLabel* JournalWarning() const { return journalWarning_; }

    // Where every collection window keeps its recovery journal; none (and no
    // journals) until this is called.
    void SetRecoveryFolder(std::string folder) { recoveryFolder_ = std::move(folder); }
    // Asks, in one window, about the journals that programs left behind:
    // Recover opens each collection with its unsaved changes applied (or, when
    // its file has changed since, what the journal holds as a new collection),
    // Discard removes the journal, Later keeps it for the next start. First
    // removes what programs that died in the middle of a save or of making a
    // journal left behind.
    void OfferRecovery();
    enum class RecoveryChoice { Recover, Discard, Later };
    // The question, a line for each journal; a choice for each comes back. The
    // program asks with a dialog, a test answers.
    std::function<QList<RecoveryChoice>(const QStringList& offers)> AskRecovery;
    // Opens the collection the journal rebuilds; the journal goes once the
    // window's own journal holds the changes.
    CChildFrame* RecoverCollection(LeftoverJournal& journal);

    // Shows the Criteria Manager; the program runs it modally, a test drives
    // it directly.
    std::function<void(CriteriaManagerDialog&)> ShowCriteriaManager;
    // Shows the Define and Run Scripts dialog, likewise.
    std::function<void(ScriptsDialog&)> ShowScriptsDialog;
    // Shows the Calibration dialog; the program runs it modally, a test
    // drives it directly and closes it.
    std::function<void(CalibrateDialog&)> ShowCalibrateDialog;
    // The Calibrate command: the dialog, and the store written when it is saved.
    void OnCalibrate();

    // Every trace filed from now on is stored in the results database at
    // `target` (Preferences may name another); what cannot be stored at once
    // waits in `outboxPath`, and the status bar counts it.
    void UseResults(const results::ResultsLocation& target, const std::string& outboxPath);
    ResultsStatus* Results() const { return results_.get(); }
    // The database the Preferences field names (the program's settings), or empty.
    static QString ResultsSetting();

    // Whether any open collection is running `script` now.
    bool ScriptRunsInAnyCollection(const Script& script) const;

  public slots:
    void ApplySelectedCriterion();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    CMainFrame(const StartOptions& options, DriverPort* port, ProfileInstrument* instrument,
               Clock& clock, QWidget* parent);
    // Instrument work that the window needs finished before it goes on: on the
    // worker when there is one, with the window's events still handled.
    void RunInstrumentWork(const std::function<void()>& work);
    void BuildMenus();
    void BuildFileMenu();
    void BuildActionMenu();
    // Use as Reference and Clear Reference, for the trace selected in the tree.
    void BuildReferenceCommands(QMenu& menu);
    void BuildToolBar();
    void BuildStatusBar();
    // Tile, Cascade and one entry per open window, rebuilt each time it opens.
    void RefreshWindowMenu();
    // Tells the operator at once when the collection's journal cannot be
    // written, and keeps the status bar's warning up until it can again.
    void WatchJournal(CChildFrame& child);
    void ShowJournalProblem(CChildFrame& child);
    void UpdateJournalWarning();
    static constexpr int kJournalRetryMs = 5000;
    void ShowInstrumentName();
    static constexpr int kInstrumentNameRefreshMs = 1000;
    QAction* AddAction(QMenu* menu, const QString& text, const QString& statusAndTip);
    CChildFrame* AddChild(std::unique_ptr<COrvikDoc> document,
                          std::unique_ptr<RecoveryJournal> journal = nullptr);
    bool ConfirmClose(CChildFrame& child);
    // The collection window whose file `path` names (by name or, through a
    // link, by the file itself); none.
    CChildFrame* WindowWithFile(const std::string& path) const;
    // Asks before a collection that a window here or another program has
    // open is opened again; true when it may be opened.
    bool ConfirmOpenOfHeldFile(const std::string& path);
    enum class SaveOverChange { SaveAnyway, SaveAs, Cancel };
    // Asks what to do when the file was saved over since it was opened here.
    SaveOverChange AskSaveOverChange(const COrvikDoc& document);
    void OnOpen();
    void OnPrint();
    void OnAbout();
    void OnGenerateReport();
    void OnTextReport();
    void OnStatistics();
    // The statistics pages a report window prints after the report when
    // Preferences asks for them, from the database the station stores in.
    void AttachStatisticsAppendix(CReportFrame& report, CChildFrame& child);
    results::ResultsLocation StatisticsLocation() const;
    void OnPreferences();
    void OnCriteriaEditor();
    void OnScriptedTests();
    void UpdateCommandStates();
    void ShowScriptProgress();
    // The instrument as start-up and the last saved calibration left it, for
    // the measurements.
    void TellResultsOfInstrument();
    // The Preferences field changed: the setting is kept and, when it names a
    // usable database, measurements go there from now on.
    void ChangeResultsDatabase(const QString& text);
    void AddRecentFile(const QString& path);
    void RefreshRecentFiles();

    CriteriaLibrary library_;
    std::string libraryPath_ = kCriteriaFileName;  // where the library is saved back
    CriteriaSelectorModel selector_;
    OperatorPromptsDialog prompts_;
    WindowThreadPrompts instrumentPrompts_;
    Clock& clock_;
    std::unique_ptr<SerializedDriverPort> port_;
    std::unique_ptr<InstrumentStation> instrumentStation_;
    TestStation station_;
    StartOptions options_;
    // "Initializing TDR" for an instrument that comes back without its
    // program while the program runs, reached from the worker through the
    // second.
    QPointer<QDialog> restartProgress_;
    std::unique_ptr<WindowThreadProgress> restartFromWorker_;
    // Declared after everything its work uses, so that it is destroyed (and
    // the work under way has ended) before them.
    std::unique_ptr<ThreadedInstrumentWork> work_;
    DiagnosticLog* log_ = &DiagnosticLog::Null();
    std::string recoveryFolder_;
    StartUpFindings findings_;
    std::unique_ptr<ResultsStatus> results_;
    QPointer<StatisticsWindow> statistics_;  // Action > Statistics, once opened

    QMdiArea* mdi_ = nullptr;
    // The last collection window that was active: it stays the active
    // collection while a dialog or another program has the focus. Kept as the
    // base class: a closing frame is already no CChildFrame while its base
    // destructor activates the next window, and ActiveChild() checks that.
    QPointer<QMdiSubWindow> activeChild_;
    CriteriaSelectorWidget* selectorWidget_ = nullptr;
    MainToolBar* toolBar_ = nullptr;
    QLabel* modeLabel_ = nullptr;
    QLabel* scriptLabel_ = nullptr;
    QLabel* journalWarning_ = nullptr;
    QTimer* journalRetry_ = nullptr;
    QLabel* resultsLabel_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenu* simulatorMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QAction* promptForTraceNameAction_ = nullptr;
    QAction* liveModeAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* generateReportAction_ = nullptr;
    QAction* textReportAction_ = nullptr;
    QAction* newAction_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* scriptedTestsAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* exportCsvAction_ = nullptr;
    QAction* exportTraceCsvAction_ = nullptr;
    QAction* printAction_ = nullptr;
    QTimer* liveTimer_ = nullptr;
    QTimer* triggerTimer_ = nullptr;
};

}  // namespace orvik
