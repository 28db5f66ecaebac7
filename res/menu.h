// The menu resources as data: menu 128, the main window's menu bar, menu
// 135, the calculator's popup of conversion modes, and menu 136, the monitor
// list's own menu.
#pragma once

#include "res/resource.h"

#include <QString>

#include <vector>

namespace zef {

struct MenuItem {
  enum class Kind { Command, Popup, Separator };
  Kind kind = Kind::Command;
  QString caption;  // with its '&' mnemonics, as shown ("&&" is a literal '&')
  CommandId id = CommandId::None;
  std::vector<MenuItem> items;  // popups only
  QString shortcut;             // commands: a key sequence ("Ctrl+]") that runs it from anywhere in the window
  bool checkable = false;       // commands: the item shows a check mark when its command is on
};

// The five popups of the menu bar, in order.
const std::vector<MenuItem>& MainMenu();

// Every command id of menu `id` (the main menu unless said), depth first,
// in menu order.
std::vector<CommandId> MenuCommandIds(std::uint32_t id = IDR_MAINFRAME);

// Menu resource `id` (128, 135 or 136), its top-level items in order; null for
// an id that is not a menu of the program.
const std::vector<MenuItem>* FindMenuResource(std::uint32_t id);

}  // namespace zef
