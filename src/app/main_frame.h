#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "app/clock.h"
#include "app/criterion_selector.h"
#include "app/operator_prompts_dialog.h"
#include "app/station_ports.h"
#include "app/test_station.h"
#include "criteria/criteria_library.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;
class QToolBar;

namespace orvik {

class CChildFrame;
class COrvikDoc;
class CriteriaSelectorWidget;

// How the program was started.
struct StartOptions {
    QStringList DocumentPaths;  // collections to open; a new one when empty
    bool Characterize = false;
    bool Simulated = false;
};

// The main window: menus, toolbar with the criterion selector, status bar, the
// collection windows and the two 100 ms timers. It shows state and forwards
// commands; the testing logic is the TestStation's.
class CMainFrame : public QMainWindow, public StationHost {
    Q_OBJECT
  public:
    CMainFrame(const StartOptions& options, ProfileInstrument& instrument,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Loads criteria.dat and fills the selector; tells the operator about a
    // damaged file, which is then kept until the operator agrees to replace it.
    void LoadCriteriaLibrary(const std::string& path = kCriteriaFileName);
    // Opens the collections named on the command line, or a new one.
    void ProcessCommandLine(const QStringList& paths);

    COrvikDoc* ActiveDocument() override;
    void PostApplySelectedCriterion() override;

    TestStation& Station() { return station_; }
    CriteriaLibrary& Library() { return library_; }
    CriteriaSelectorModel& Selector() { return selector_; }
    CriteriaSelectorWidget* SelectorWidget() const { return selectorWidget_; }
    CChildFrame* ActiveChild() const;
    QList<CChildFrame*> Children() const;
    QMenu* SimulatorMenu() const { return simulatorMenu_; }

    // File commands; each returns the collection window it worked on.
    CChildFrame* NewCollection();
    CChildFrame* OpenCollection(const QString& path);
    bool SaveCollection(CChildFrame& child, bool askForName);

    void SetStatusText(const QString& text);

  public slots:
    void ApplySelectedCriterion();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildMenus();
    void BuildFileMenu();
    void BuildActionMenu();
    void BuildToolBar();
    void BuildStatusBar();
    QAction* AddAction(QMenu* menu, const QString& text, const QString& statusAndTip);
    CChildFrame* AddChild(std::unique_ptr<COrvikDoc> document);
    bool ConfirmClose(CChildFrame& child);
    void OnOpen();
    void OnPrint();
    void OnAbout();
    void UpdateCommandStates();
    void AddRecentFile(const QString& path);
    void RefreshRecentFiles();

    CriteriaLibrary library_;
    CriteriaSelectorModel selector_;
    OperatorPromptsDialog prompts_;
    SystemClock clock_;
    TestStation station_;
    bool simulated_;

    QMdiArea* mdi_ = nullptr;
    // The last collection window that was active: it stays the active
    // collection while a dialog or another program has the focus.
    QPointer<CChildFrame> activeChild_;
    CriteriaSelectorWidget* selectorWidget_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* modeLabel_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenu* simulatorMenu_ = nullptr;
    QAction* promptForTraceNameAction_ = nullptr;
    QAction* liveModeAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* printAction_ = nullptr;
    QTimer* liveTimer_ = nullptr;
};

}  // namespace orvik
