#pragma once

// A menu's command by its text as read, without its access-key marker,
// looked for in the submenus too.
#include <QAction>
#include <QMenu>
#include <QString>

namespace orvik::testing {

inline QAction* MenuItem(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (QString(action->text()).remove('&') == text) {
            return action;
        }
        if (action->menu() != nullptr) {
            if (QAction* inner = MenuItem(*action->menu(), text)) {
                return inner;
            }
        }
    }
    return nullptr;
}

}  // namespace orvik::testing
