#include "app/gui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

#include "app/gui/calibrate_dialog.h"
#include "app/gui/child_frame.h"
#include "app/gui/graph_view.h"
#include "app/gui/main_toolbar.h"
#include "app/gui/results_status.h"
#include "app/gui/status_texts.h"
#include "base/c_numbers.h"
#include "base/gui/prompt_dialogs.h"
#include "base/gui/save_file_dialog.h"
#include "base/latin1_text.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_manager.h"
#include "criteria/gui/criteria_dialogs.h"
#include "criteria/gui/scripts_dialog.h"
#include "instrument/calibration_save.h"
#include "instrument/calibration_session.h"
#include "instrument/gui/init_progress_dialog.h"
#include "instrument/image_folders.h"
#include "instrument/instrument_station.h"
#include "journal/recovery_journal.h"
#include "report/export_names.h"
#include "report/gui/preferences_dialog.h"
#include "report/gui/report_frame.h"
#include "report/gui/text_report_command.h"

namespace orvik {
namespace {

constexpr int kTimerPeriodMs = 100;
constexpr int kRecentFileCount = 4;
const char* const kFileFilter = "Trace Collection (*.tdr);;All Files (*)";

}  // namespace

CMainFrame::CMainFrame(const StartOptions& options, DriverPort& port, Clock& clock, QWidget* parent)
    : CMainFrame(options, &port, nullptr, clock, parent) {}

CMainFrame::CMainFrame(const StartOptions& options, ProfileInstrument& instrument, Clock& clock,
                       QWidget* parent)
    : CMainFrame(options, nullptr, &instrument, clock, parent) {}

CMainFrame::CMainFrame(const StartOptions& options, DriverPort* port, ProfileInstrument* instrument,
                       Clock& clock, QWidget* parent)
    : QMainWindow(parent),
      prompts_(this),
      instrumentPrompts_(prompts_),
      clock_(clock),
      port_(port ? std::make_unique<SerializedDriverPort>(*port) : nullptr),
      instrumentStation_(
          port ? std::make_unique<InstrumentStation>(*port_, clock_, instrumentPrompts_) : nullptr),
      station_(library_, selector_, prompts_, clock_, *this,
               instrument ? *instrument : static_cast<ProfileInstrument&>(*instrumentStation_)),
      options_(options) {
    setObjectName("mainFrame");
    ShowCriteriaManager = [](CriteriaManagerDialog& manager) { manager.exec(); };
    ShowCalibrateDialog = [](CalibrateDialog& dialog) { dialog.exec(); };
    ShowScriptsDialog = [](ScriptsDialog& dialog) { dialog.exec(); };
    if (options_.InstrumentThread) {
        work_ = std::make_unique<ThreadedInstrumentWork>();
        station_.SetInstrumentWork(*work_);
    }
    // Qt has adopted the desktop's locale; the numbers of the system's own
    // texts and files keep the C conventions (a decimal point) everywhere.
    UseCNumericLocale();
    setWindowTitle(options_.Simulated ? "Orvik - Simulated MV300" : "Orvik");
    setAcceptDrops(true);
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("collections");
    setCentralWidget(mdi_);
    BuildToolBar();
    BuildMenus();
    toolBar_->AddCommands({newAction_, openAction_, saveAction_, printAction_, liveModeAction_,
                           recordAction_, aboutAction_});
    BuildStatusBar();
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (auto* child = qobject_cast<CChildFrame*>(window)) {
            activeChild_ = child;
        }
        // A collection without a running script frees the selector; one with
        // a run selects the criterion of its own next test.
        if (COrvikDoc* document = ActiveDocument()) {
            station_.CollectionActivated(*document);
        }
        UpdateCommandStates();
    });

    liveTimer_ = new QTimer(this);
    liveTimer_->setInterval(kTimerPeriodMs);
    connect(liveTimer_, &QTimer::timeout, this, [this] {
        station_.LiveModeTick();
        UpdateCommandStates();
    });
    liveTimer_->start();

    triggerTimer_ = new QTimer(this);
    triggerTimer_->setInterval(kTimerPeriodMs);
    if (instrumentStation_) {
        instrumentStation_->Trigger().SetListener(this);
        connect(triggerTimer_, &QTimer::timeout, this, [this] {
            // While the worker talks to the instrument this poll is skipped;
            // the next one comes 100 ms later and an input stays latched.
            std::unique_lock<std::recursive_mutex> lock(port_->Mutex(), std::try_to_lock);
            if (lock.owns_lock()) {
                instrumentStation_->Trigger().TriggerPoll();
            }
            UpdateCommandStates();
        });
    }
    resize(1200, 800);
}

StartUpFindings CMainFrame::StartInstrument() {
    if (!instrumentStation_) {
        return {};
    }
    InitProgressDialog progress(this);
    StartUpOptions options;
    options.commandLine = options_.CommandLine;
    options.imageFolder =
        InstrumentImageFolder(options_.Simulated ? ImageSet::Simulator : ImageSet::Instrument);
    WindowThreadProgress progressFromWorker(progress);
    options.progress = work_ ? static_cast<LoadProgress*>(&progressFromWorker) : &progress;
    StartUpFindings findings;
    RunInstrumentWork([&] { findings = instrumentStation_->StartUp(options); });
    findings_ = findings;
    TellResultsOfInstrument();
    if (restartProgress_ == nullptr) {
        auto* restart = new InitProgressDialog(this);
        restartProgress_ = restart;
        restartFromWorker_ = std::make_unique<WindowThreadProgress>(*restart);
        instrumentStation_->SetRestartProgress(
            work_ ? static_cast<LoadProgress*>(restartFromWorker_.get()) : restart);
    }
    if (findings.triggerOpened) {
        triggerTimer_->start();
    }
    QString status = ToQt(InstrumentStatusText(findings));
    if (!findings.stored.notes.empty()) {
        status += " - " + ToQt(findings.stored.notes.front());
    }
    SetStatusText(status);
    ShowInstrumentName();
    return findings;
}

void CMainFrame::RunInstrumentWork(const std::function<void()>& work) {
    if (!work_) {
        work();
        ShowInstrumentName();
        return;
    }
    // The window keeps answering meanwhile; the timers find the instrument busy.
    station_.SetInstrumentBusy(true);
    work_->RunAndWait(work);
    station_.SetInstrumentBusy(false);
    ShowInstrumentName();
}

void CMainFrame::ShowInstrumentName() {
    if (!options_.InstrumentName) {
        return;
    }
    const std::string name = options_.InstrumentName();
    modeLabel_->setText(name.empty() ? QString("MV300 not found") : ToQt(name));
}

bool CMainFrame::TriggerPollRunning() const {
    return triggerTimer_->isActive();
}

void CMainFrame::StopTriggerPoll() {
    triggerTimer_->stop();
}

void CMainFrame::TriggerRunTest() {
    station_.TriggerRunTest();
}

void CMainFrame::TriggerRecordTest() {
    station_.TriggerRecordTest();
}

CMainFrame::~CMainFrame() {
    // The measurement under way ends first and its result is dropped; a
    // message it waits to show is not shown.
    if (work_) {
        instrumentPrompts_.Close();
        work_->Finish([this] { instrumentPrompts_.Close(); });
        work_.reset();
    }
    // Collection windows go first, without questions: their views use the station.
    for (QMdiSubWindow* window : mdi_->subWindowList()) {
        delete window;
    }
    station_.SetFiledTraceListener(nullptr);
    results_.reset();  // what still waits stays in the outbox
}

void CMainFrame::SetStatusText(const QString& text) {
    statusBar()->showMessage(text);
}

void CMainFrame::RestoreWindowGeometry() {
    const QByteArray stored = QSettings().value(kGeometrySetting).toByteArray();
    if (!stored.isEmpty()) {
        restoreGeometry(stored);
    }
}

QString CMainFrame::StatusText() const {
    return statusBar()->currentMessage();
}

void CMainFrame::Notify(const StationNotice& notice) {
    SetStatusText(NoticeText(notice));
    ShowScriptProgress();
}

void CMainFrame::ShowScriptProgress() {
    const COrvikDoc* document = ActiveDocument();
    const std::optional<ScriptProgress> progress =
        document ? ScriptRun::Progress(*document) : std::nullopt;
    scriptLabel_->setVisible(progress.has_value());
    scriptLabel_->setText(progress ? ScriptProgressText(*progress) : QString());
}

void CMainFrame::SetDiagnosticLog(DiagnosticLog& log) {
    log_ = &log;
    library_.SetLog(log);
    station_.SetLog(log);
    if (instrumentStation_) {
        instrumentStation_->SetLog(log);
    }
    for (CChildFrame* child : Children()) {
        child->Document().SetLog(log);
    }
}

void CMainFrame::LoadCriteriaLibrary(const std::string& path) {
    libraryPath_ = path;
    const Result<LibraryLoadStatus> result = library_.Load(path);
    selector_.FillInFileOrder(library_);
    promptForTraceNameAction_->setChecked(station_.PromptForTraceName());
    if (!result) {
        prompts_.Message(result.Error().Message, "Criteria library", PromptIcon::Warning);
    }
    // Told once, here; the measurements are then judged by their limits alone.
    if (const std::optional<Failure> damage = station_.References().Load(path)) {
        prompts_.Message(damage->Message + "\n" + damage->Detail, kReferenceCaption,
                         PromptIcon::Warning);
    }
}

CChildFrame* CMainFrame::ActiveChild() const {
    if (auto* current = qobject_cast<CChildFrame*>(mdi_->currentSubWindow())) {
        return current;
    }
    return qobject_cast<CChildFrame*>(activeChild_.data());
}

QList<CChildFrame*> CMainFrame::Children() const {
    QList<CChildFrame*> children;
    for (QMdiSubWindow* window : mdi_->subWindowList()) {
        if (auto* child = qobject_cast<CChildFrame*>(window)) {
            children.append(child);
        }
    }
    return children;
}

bool CMainFrame::IsOpen(const COrvikDoc& document) {
    for (CChildFrame* child : Children()) {
        if (&child->Document() == &document) {
            return true;
        }
    }
    return false;
}

std::vector<COrvikDoc*> CMainFrame::OpenDocuments() {
    std::vector<COrvikDoc*> documents;
    for (CChildFrame* child : Children()) {
        documents.push_back(&child->Document());
    }
    return documents;
}

bool CMainFrame::ModalWindowOpen() {
    return QApplication::activeModalWidget() != nullptr;
}

std::recursive_mutex* CMainFrame::InstrumentLock() {
    return port_ ? &port_->Mutex() : nullptr;
}

COrvikDoc* CMainFrame::ActiveDocument() {
    CChildFrame* child = ActiveChild();
    return child ? &child->Document() : nullptr;
}

void CMainFrame::PostApplySelectedCriterion() {
    QMetaObject::invokeMethod(this, &CMainFrame::ApplySelectedCriterion, Qt::QueuedConnection);
}

void CMainFrame::ApplySelectedCriterion() {
    station_.ApplySelectedCriterion();
}

CChildFrame* CMainFrame::AddChild(std::unique_ptr<COrvikDoc> document,
                                  std::unique_ptr<RecoveryJournal> journal) {
    document->SetLog(*log_);
    document->HoldFile();  // other programs can tell it is open here
    if (!journal && !recoveryFolder_.empty()) {
        journal = std::make_unique<RecoveryJournal>(recoveryFolder_, *document, *log_);
    }
    auto* child = new CChildFrame(std::move(document), station_);
    child->SetJournal(std::move(journal));
    WatchJournal(*child);
    child->CanClose = [this](CChildFrame& frame) { return ConfirmClose(frame); };
    mdi_->addSubWindow(child);
    child->showMaximized();
    mdi_->setActiveSubWindow(child);
    activeChild_ = child;
    UpdateCommandStates();
    return child;
}

CChildFrame* CMainFrame::NewCollection() {
    return AddChild(std::make_unique<COrvikDoc>());
}

CChildFrame* CMainFrame::OpenCollection(const QString& path) {
    const QString canonical = QFileInfo(path).absoluteFilePath();
    if (CChildFrame* child = WindowWithFile(PathFromQt(canonical))) {
        mdi_->setActiveSubWindow(child);
        activeChild_ = child;
        return child;
    }
    if (!ConfirmOpenOfHeldFile(PathFromQt(canonical))) {
        return nullptr;
    }
    auto document = std::make_unique<COrvikDoc>();
    document->SetLog(*log_);
    const Status result = document->Open(PathFromQt(canonical));
    if (!result) {
        // The detail names the file.
        QMessageBox::warning(
            this, "Orvik", ToQt(result.Error().Message) + "\n\n" + PathToQt(result.Error().Detail));
        return nullptr;
    }
    AddRecentFile(canonical);
    return AddChild(std::move(document));
}

void CMainFrame::OnOpen() {
    const QStringList paths = QFileDialog::getOpenFileNames(this, "Open", QString(), kFileFilter);
    for (const QString& path : paths) {
        OpenCollection(path);
    }
}

bool CMainFrame::SaveCollection(CChildFrame& child, bool askForName) {
    COrvikDoc& document = child.Document();
    QString path = PathToQt(document.Path());
    if (!askForName && !path.isEmpty() && document.ChangedOnDisk()) {
        const SaveOverChange choice = AskSaveOverChange(document);
        if (choice == SaveOverChange::Cancel) {
            return false;
        }
        askForName = choice == SaveOverChange::SaveAs;
    }
    if (askForName || path.isEmpty()) {
        const QString proposed = path.isEmpty() ? PathToQt(document.Title()) + ".tdr" : path;
        path = AskSaveFileName(this, "Save As", proposed,
                               {"Trace Collection (*.tdr)", "All Files (*)"}, "tdr");
        if (path.isEmpty()) {
            return false;
        }
    }
    const Status result = document.SaveAs(PathFromQt(path));
    if (!result) {
        QMessageBox::warning(
            this, "Orvik", ToQt(result.Error().Message) + "\n\n" + PathToQt(result.Error().Detail));
        return false;
    }
    AddRecentFile(PathToQt(document.Path()));
    child.UpdateTitle();
    SetStatusText(SavedText(path));
    return true;
}

bool CMainFrame::ConfirmClose(CChildFrame& child) {
    COrvikDoc& document = child.Document();
    child.DiscardJournalOnClose(false);
    if (!document.IsModified()) {
        return true;
    }
    const auto answer = QMessageBox::question(
        this, "Orvik", QString("Save changes to %1?").arg(PathToQt(document.Title())),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel) {
        return false;
    }
    // No: the changes are given up, and with them what would recover them.
    child.DiscardJournalOnClose(answer == QMessageBox::No);
    return answer == QMessageBox::No || SaveCollection(child, false);
}

void CMainFrame::ProcessCommandLine(const QStringList& paths) {
    for (const QString& path : paths) {
        OpenCollection(path);
    }
    if (Children().isEmpty()) {
        NewCollection();
    }
}

void CMainFrame::OnPrint() {
    if (auto* report = qobject_cast<CReportFrame*>(mdi_->currentSubWindow())) {
        report->Print();
        return;
    }
    if (CChildFrame* child = ActiveChild()) {
        child->Graph().Print();
    }
}

void CMainFrame::OnAbout() {
    station_.StopLiveMode();
    UpdateCommandStates();
    AboutDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnGenerateReport() {
    if (!station_.ScriptGuard()) {
        return;
    }
    station_.StopLiveMode();
    UpdateCommandStates();
    if (CChildFrame* child = ActiveChild()) {
        auto* report = new CReportFrame(child->Document(), child, library_.Preferences);
        AttachStatisticsAppendix(*report, *child);
        mdi_->addSubWindow(report);
        report->show();
        mdi_->setActiveSubWindow(report);
    }
}

void CMainFrame::OnTextReport() {
    if (CChildFrame* child = ActiveChild()) {
        const COrvikDoc& document = child->Document();
        const QString path = AskTextReportPath(
            this, PathToQt(ProposedExportPath(document.Path(), document.Title(), ".txt")));
        if (!path.isEmpty()) {
            WriteTextReportFile(path, child->Document(), library_.Preferences, prompts_);
        }
    }
}

void CMainFrame::OnPreferences() {
    station_.StopLiveMode();
    UpdateCommandStates();
    QString database = ResultsSetting();
    if (EditPreferences(library_, libraryPath_, prompts_, this, &database)) {
        ChangeResultsDatabase(database);
        for (CChildFrame* child : Children()) {
            child->UseColourSet(HighContrastColours());
            child->UseDisplayUnits(CurrentDisplayUnits());
        }
    }
    promptForTraceNameAction_->setChecked(station_.PromptForTraceName());
}

void CMainFrame::OnCriteriaEditor() {
    if (!station_.ScriptGuard()) {
        return;
    }
    station_.StopLiveMode();
    UpdateCommandStates();
    CriteriaManagerDialog manager(library_, prompts_, this);
    manager.SetLengthUnit(CurrentDisplayUnits().Length);
    ShowCriteriaManager(manager);
    // The manager has changed the library in place however it was left, so the
    // selector must never keep a deleted criterion: the steps after Close run
    // after Escape and the close box too.
    (void)AfterCriteriaManagerClosed(
        library_, selector_, manager.CloseId(), [this] { station_.ApplySelectedCriterion(); },
        prompts_, libraryPath_);
    UpdateCommandStates();
}

void CMainFrame::OnCalibrate() {
    if (!instrumentStation_ || !station_.ScriptGuard()) {
        return;
    }
    station_.StopLiveMode();
    UpdateCommandStates();
    // A measurement still under way on the worker ends before the dialog's first.
    RunInstrumentWork([] {});
    CalibrationSession session(*instrumentStation_);
    COrvikDoc* document = ActiveDocument();
    CalibrateDialog dialog(
        session, document ? &document->TraceTemplate : nullptr, prompts_,
        [this](const std::function<void()>& work) { RunInstrumentWork(work); }, this);
    if (simulatorMenu_ != nullptr) {
        dialog.OfferSimulatorMenu(*simulatorMenu_);
    }
    ShowCalibrateDialog(dialog);
    if (dialog.result() != QDialog::Accepted) {
        return;
    }
    Status saved;
    RunInstrumentWork([&] {
        saved = SaveCalibration(instrumentStation_->Link(), instrumentStation_->Calibration(),
                                FromQt(dialog.OperatorName()), CurrentCalibrationDateText());
    });
    if (!saved) {
        log_->Error("app", "Calibration not saved: " + saved.Error().Message + " (" +
                               saved.Error().Detail + ")");
        prompts_.Message(saved.Error().Message, kCalibrationNotSavedCaption, PromptIcon::Error);
        return;
    }
    // The log is UTF-8; the name is kept as the instrument keeps it.
    log_->Info("app", "Calibration saved by " +
                          Latin1ToUtf8(instrumentStation_->Calibration().LastOperator()));
    TellResultsOfInstrument();
}

void CMainFrame::UpdateCommandStates() {
    const bool hasDocument = ActiveChild() != nullptr;
    saveAction_->setEnabled(hasDocument);
    saveAsAction_->setEnabled(hasDocument);
    exportCsvAction_->setEnabled(hasDocument);
    exportTraceCsvAction_->setEnabled(hasDocument);
    recordAction_->setEnabled(hasDocument);
    // Without a collection there is nothing to measure into or report on.
    if (!hasDocument) {
        station_.SetLiveMode(false);
    }
    liveModeAction_->setEnabled(hasDocument);
    liveModeAction_->setChecked(station_.LiveMode());
    generateReportAction_->setEnabled(hasDocument);
    textReportAction_->setEnabled(hasDocument);
    // A run needs a collection to record into.
    scriptedTestsAction_->setEnabled(ActiveDocument() != nullptr);
    for (CChildFrame* child : Children()) {
        child->UpdateTitle();
    }
    ShowScriptProgress();
}

void CMainFrame::AddRecentFile(const QString& path) {
    QSettings settings;
    QStringList files = settings.value("Recent File List/Files").toStringList();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFileCount) {
        files.removeLast();
    }
    settings.setValue("Recent File List/Files", files);
    RefreshRecentFiles();
}

void CMainFrame::RefreshRecentFiles() {
    recentMenu_->clear();
    const QStringList files = QSettings().value("Recent File List/Files").toStringList();
    int number = 1;
    for (const QString& path : files) {
        QAction* open = recentMenu_->addAction(QString("&%1 %2").arg(number++).arg(path));
        connect(open, &QAction::triggered, this, [this, path] { OpenCollection(path); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    const QList<CChildFrame*> children = Children();
    for (CChildFrame* child : children) {
        if (!ConfirmClose(*child)) {
            event->ignore();
            return;
        }
    }
    // Every collection has been saved or given up: closing the windows must
    // not ask a second time.
    for (CChildFrame* child : children) {
        child->CanClose = nullptr;
    }
    if (results_) {
        results_->SayWhatWaitsOnClose();
    }
    station_.SetLiveMode(false);
    QSettings().setValue(kGeometrySetting, saveGeometry());
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            OpenCollection(url.toLocalFile());
        }
    }
    event->acceptProposedAction();
}

}  // namespace orvik
