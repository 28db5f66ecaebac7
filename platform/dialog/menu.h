// Menus built from the menu resources of res/menu.h: the main window's menu
// bar and the popups that a button opens.
#pragma once

#include "res/menu.h"

#include <QMenu>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zef {

// Appends `items` to `menu`: a command becomes an action whose data is its
// id (and which calls `onCommand` with it when triggered, when given), with
// the item's shortcut and check mark; a popup a submenu owned by `menu`, a
// separator a separator.
void AppendMenuItems(QMenu& menu, const std::vector<MenuItem>& items,
                     const std::function<void(CommandId)>& onCommand = {});

// The command id an action of AppendMenuItems stands for; None for a
// separator, a submenu or no action.
CommandId CommandOf(const QAction* action);

// A loaded menu resource: its top-level popups, destroyed with the object.
class CMenu {
 public:
  // Loads menu resource `id`, replacing what was loaded. False for an id
  // that is not a menu of the program.
  bool LoadMenu(std::uint32_t id);
  // The popup at top-level `position`; null when there is no popup there
  // (or nothing is loaded).
  QMenu* GetSubMenu(int position) const;

 private:
  // One entry per top-level item; null for items that are not popups.
  std::vector<std::unique_ptr<QMenu>> m_popups;
};

}  // namespace zef
