// The main window's menus, toolbar and status bar: what each command is
// called, what it says in the status bar and what it calls.
#include "app/gui/main_frame.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

#include "app/gui/browse_view.h"
#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/main_toolbar.h"
#include "report/gui/csv_export_command.h"

namespace orvik {

QAction* CMainFrame::AddAction(QMenu* menu, const QString& text, const QString& statusAndTip) {
    QAction* action = menu->addAction(text);
    const QStringList parts = statusAndTip.split('\n');
    action->setStatusTip(parts.value(0));
    action->setToolTip(parts.value(1, parts.value(0)));
    return action;
}

void CMainFrame::BuildMenus() {
    BuildFileMenu();
    BuildActionMenu();

    QMenu* view = menuBar()->addMenu("&View");
    QAction* toolbar = toolBar_->toggleViewAction();
    toolbar->setText("&Toolbar");
    toolbar->setStatusTip("Show or hide the toolbar");
    view->addAction(toolbar);
    QAction* status = view->addAction("&Status Bar");
    status->setCheckable(true);
    status->setChecked(true);
    status->setStatusTip("Show or hide the status bar");
    connect(status, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

    if (options_.Simulated) {
        simulatorMenu_ = menuBar()->addMenu("S&imulator");
    }
    windowMenu_ = menuBar()->addMenu("&Window");
    connect(windowMenu_, &QMenu::aboutToShow, this, &CMainFrame::RefreshWindowMenu);
    RefreshWindowMenu();

    QMenu* help = menuBar()->addMenu("&Help");
    aboutAction_ = AddAction(help, "&About MV300...",
                             "Display program information, version number and copyright\nAbout");
    connect(aboutAction_, &QAction::triggered, this, &CMainFrame::OnAbout);
}

void CMainFrame::BuildFileMenu() {
    QMenu* file = menuBar()->addMenu("&File");
    newAction_ = AddAction(file, "&New", "Create a new document\nNew");
    newAction_->setShortcut(QKeySequence::New);
    connect(newAction_, &QAction::triggered, this, [this] { NewCollection(); });
    openAction_ = AddAction(file, "&Open", "Open an existing document\nOpen");
    openAction_->setShortcut(QKeySequence::Open);
    connect(openAction_, &QAction::triggered, this, &CMainFrame::OnOpen);
    saveAction_ = AddAction(file, "&Save", "Save the active document\nSave");
    saveAction_->setShortcut(QKeySequence::Save);
    connect(saveAction_, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) {
            SaveCollection(*child, false);
        }
    });
    saveAsAction_ =
        AddAction(file, "Save &As...", "Save the active document with a new name\nSave As");
    connect(saveAsAction_, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) {
            SaveCollection(*child, true);
        }
    });
    file->addSeparator();
    printAction_ = AddAction(file, "&Print...", "Print the graph of the active document\nPrint");
    printAction_->setShortcut(QKeySequence::Print);
    connect(printAction_, &QAction::triggered, this, &CMainFrame::OnPrint);
    exportCsvAction_ = AddAction(file, "Export &CSV...",
                                 "Save the traces of the active document as CSV\nExport CSV");
    connect(exportCsvAction_, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) {
            ExportCollectionCsv(this, child->Document());
        }
    });
    exportTraceCsvAction_ =
        AddAction(file, "Export &Trace CSV...",
                  "Save the samples of the trace selected in the tree as CSV\nExport Trace CSV");
    connect(exportTraceCsvAction_, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) {
            if (const TraceRecord* trace = child->Browse().SelectedTrace()) {
                ExportTraceCsv(this, *trace, child->Document().Path());
            } else {
                prompts_.Message("Select a trace in the test tree first.", "Export Trace CSV",
                                 PromptIcon::Information);
            }
        }
    });
    file->addSeparator();
    QAction* preferences =
        AddAction(file, "P&references", "Company details for reports\nPreferences");
    connect(preferences, &QAction::triggered, this, &CMainFrame::OnPreferences);
    file->addSeparator();
    recentMenu_ = file->addMenu("Recent &Files");
    RefreshRecentFiles();
    file->addSeparator();
    QAction* exit =
        AddAction(file, "E&xit", "Quit the application; prompts to save documents\nExit");
    exit->setShortcut(QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::BuildActionMenu() {
    QMenu* action = menuBar()->addMenu("&Action");
    promptForTraceNameAction_ =
        AddAction(action, "&Prompt for Trace Name", "Ask for a name when a test is recorded");
    promptForTraceNameAction_->setCheckable(true);
    connect(promptForTraceNameAction_, &QAction::triggered, this, [this] {
        // The check mark follows the flag; the flag is flipped by the command.
        station_.TogglePromptForTraceName();
        promptForTraceNameAction_->setChecked(station_.PromptForTraceName());
    });
    QAction* editor =
        AddAction(action, "&Criteria Editor", "Open the Criteria Manager\nCriteria Manager");
    connect(editor, &QAction::triggered, this, &CMainFrame::OnCriteriaEditor);
    liveModeAction_ = AddAction(action, "&LiveMode", "Run a single test\nRun Test");
    liveModeAction_->setCheckable(true);
    liveModeAction_->setShortcut(Qt::Key_F5);
    connect(liveModeAction_, &QAction::triggered, this, [this] {
        station_.ToggleLiveMode();
        UpdateCommandStates();
    });
    recordAction_ =
        AddAction(action, "&Record Test", "Record the last test in the data tree\nRecord Test");
    recordAction_->setShortcut(Qt::Key_F9);
    connect(recordAction_, &QAction::triggered, this, [this] {
        if (COrvikDoc* document = ActiveDocument()) {
            station_.RecordTest(*document);
        }
        UpdateCommandStates();
    });
    scriptedTestsAction_ =
        AddAction(action, "&Scripted Tests", "Run a scripted series of tests\nScripted Tests");
    connect(scriptedTestsAction_, &QAction::triggered, this, &CMainFrame::OnScriptedTests);
    connect(AddAction(action, "C&alibrate", "Calibrate the hardware\nCalibrate"),
            &QAction::triggered, this, &CMainFrame::OnCalibrate);
    generateReportAction_ =
        AddAction(action, "&Generate Report",
                  "Generate a report for all tests in the test tree\nGenerate Report");
    connect(generateReportAction_, &QAction::triggered, this, &CMainFrame::OnGenerateReport);
    textReportAction_ =
        AddAction(action, "&Text Report", "Write a text report of all tests\nText Report");
    connect(textReportAction_, &QAction::triggered, this, &CMainFrame::OnTextReport);
    connect(AddAction(action, "Stat&istics...",
                      "Yield, capability and control charts of a job's tests from the results "
                      "database\nStatistics"),
            &QAction::triggered, this, &CMainFrame::OnStatistics);
    BuildReferenceCommands(*action);
}

void CMainFrame::BuildReferenceCommands(QMenu& menu) {
    menu.addSeparator();
    QAction* mark = AddAction(&menu, "Use as Re&ference...",
                              "Make the trace selected in the test tree the reference curve of its "
                              "criterion\nUse as Reference");
    connect(mark, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) {
            child->Browse().MarkSelectedAsReference();
        }
    });
    QAction* clear = AddAction(&menu, "Clear Refere&nce",
                               "Remove the reference curve of the selected trace's criterion\n"
                               "Clear Reference");
    connect(clear, &QAction::triggered, this, [this] {
        if (CChildFrame* child = ActiveChild()) {
            child->Browse().ClearSelectedReference();
        }
    });
    // Offered for the trace selected in the active collection's tree.
    connect(&menu, &QMenu::aboutToShow, this, [this, mark, clear] {
        const CChildFrame* child = ActiveChild();
        const TraceRecord* trace = child ? child->Browse().SelectedTrace() : nullptr;
        mark->setEnabled(trace != nullptr);
        clear->setEnabled(trace != nullptr &&
                          station_.References().References().Find(trace->Criteria.Id) != nullptr);
    });
}

void CMainFrame::RefreshWindowMenu() {
    windowMenu_->clear();
    connect(AddAction(windowMenu_, "&Tile", "Arrange the windows side by side\nTile"),
            &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);
    connect(AddAction(windowMenu_, "&Cascade", "Arrange the windows so they overlap\nCascade"),
            &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
    if (!windows.isEmpty()) {
        windowMenu_->addSeparator();
    }
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QString title = window->windowTitle().remove("[*]").replace("&", "&&");
        if (number <= 9) {
            title = QString("&%1 %2").arg(number).arg(title);
        }
        ++number;
        QAction* show = windowMenu_->addAction(title);
        show->setCheckable(true);
        show->setChecked(window == mdi_->currentSubWindow());
        connect(show, &QAction::triggered, this, [this, target = QPointer<QMdiSubWindow>(window)] {
            if (target) {
                mdi_->setActiveSubWindow(target);
            }
        });
    }
}

void CMainFrame::BuildToolBar() {
    toolBar_ = new MainToolBar(selector_, this);
    addToolBar(toolBar_);
    selectorWidget_ = toolBar_->Selector();
    connect(selectorWidget_, &CriteriaSelectorWidget::Chosen, this,
            [this] { ApplySelectedCriterion(); });
}

void CMainFrame::BuildStatusBar() {
    statusBar()->showMessage("Ready");
    scriptLabel_ = new QLabel(this);
    scriptLabel_->setObjectName("scriptProgressLabel");
    scriptLabel_->hide();
    statusBar()->addPermanentWidget(scriptLabel_);
    modeLabel_ = new QLabel(options_.Simulated ? "Simulated MV300" : "MV300", this);
    modeLabel_->setObjectName("instrumentLabel");
    statusBar()->addPermanentWidget(modeLabel_);
    journalWarning_ = new QLabel("Not protected against a crash — save now", this);
    journalWarning_->setObjectName("journalWarning");
    journalWarning_->setStyleSheet("QLabel { color: white; background: #b00020; padding: 0 6px; }");
    journalWarning_->hide();
    statusBar()->addPermanentWidget(journalWarning_);
    resultsLabel_ = new QLabel(this);
    resultsLabel_->setObjectName("resultsLabel");
    resultsLabel_->hide();
    statusBar()->addPermanentWidget(resultsLabel_);
    if (options_.InstrumentName) {
        // A replugged instrument comes back at another address.
        auto* refresh = new QTimer(this);
        connect(refresh, &QTimer::timeout, this, [this] { ShowInstrumentName(); });
        refresh->start(kInstrumentNameRefreshMs);
    }
}

}  // namespace orvik
