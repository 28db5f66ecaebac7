// Menu 128: the main window's menu bar as data.
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
};

// The five popups of the menu bar, in order.
const std::vector<MenuItem>& MainMenu();

// Every command id of the menu, depth first, in menu order.
std::vector<CommandId> MenuCommandIds();

}  // namespace zef
