#pragma once

#include <QIcon>
#include <QToolBar>

class QAction;

namespace orvik {

class CriteriaSelectorModel;
class CriteriaSelectorWidget;

// The commands with a toolbar button, in the toolbar's order.
enum class ToolBarCommand { New, Open, Save, Print, LiveMode, RecordTest, About, Count };

// The actions behind the buttons; each keeps the text, tooltip and status
// prompt its menu gave it, and gains an icon here.
struct ToolBarActions {
    QAction* New = nullptr;
    QAction* Open = nullptr;
    QAction* Save = nullptr;
    QAction* Print = nullptr;
    QAction* LiveMode = nullptr;
    QAction* RecordTest = nullptr;
    QAction* About = nullptr;
};

// The icon of a command: the desktop icon theme's, else the drawn one.
QIcon CommandIcon(ToolBarCommand command);
// The drawn icon of a command, for desktops whose theme lacks it.
QIcon DrawnCommandIcon(ToolBarCommand command);

// The main window's toolbar: file commands, print, live mode and record, the
// criterion selector, and About, as icons with tooltips; hovering a button
// shows its prompt in the status bar.
class MainToolBar : public QToolBar {
    Q_OBJECT
  public:
    MainToolBar(CriteriaSelectorModel& selector, QWidget* parent = nullptr);

    // Gives the actions their icons and puts them in place around the selector.
    void AddCommands(const ToolBarActions& actions);

    CriteriaSelectorWidget* Selector() const { return selector_; }

  private:
    CriteriaSelectorWidget* selector_;
};

}  // namespace orvik
