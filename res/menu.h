// The menu resources as data: menu 128, the main window's menu bar, and
// menu 135, the calculator's popup of conversion modes.
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

// Every command id of the menu, depth first, in menu order.
std::vector<CommandId> MenuCommandIds();

// Menu resource `id` (128 or 135), its top-level items in order; null for
// an id that is not a menu of the program.
const std::vector<MenuItem>* FindMenuResource(std::uint32_t id);

}  // namespace zef
