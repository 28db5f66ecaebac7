// The menu item that runs a command, found in a popup and its sub-popups.
#pragma once

#include "res/resource.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace zef::test {

// The first item of `actions` (or of their sub-popups, depth first) whose
// command is `id`; null when none is.
inline QAction* FindAction(const QList<QAction*>& actions, CommandId id) {
  for (QAction* action : actions) {
    if (action->menu()) {
      if (QAction* found = FindAction(action->menu()->actions(), id)) return found;
    } else if (!action->isSeparator() && action->data().toUInt() == ToUInt(id)) {
      return action;
    }
  }
  return nullptr;
}
inline QAction* FindAction(QMenu* menu, CommandId id) { return FindAction(menu->actions(), id); }
inline QAction* FindAction(QMenuBar* bar, CommandId id) { return FindAction(bar->actions(), id); }

}  // namespace zef::test
