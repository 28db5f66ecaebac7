#include "platform/dialog/menu.h"

#include <QKeySequence>

namespace zef {

void AppendMenuItems(QMenu& menu, const std::vector<MenuItem>& items, const std::function<void(CommandId)>& onCommand) {
  for (const MenuItem& item : items) {
    switch (item.kind) {
      case MenuItem::Kind::Separator:
        menu.addSeparator();
        break;
      case MenuItem::Kind::Popup:
        AppendMenuItems(*menu.addMenu(item.caption), item.items, onCommand);
        break;
      case MenuItem::Kind::Command: {
        QAction* action = menu.addAction(item.caption);
        action->setData(ToUInt(item.id));
        if (!item.shortcut.isEmpty()) action->setShortcut(QKeySequence(item.shortcut));
        action->setCheckable(item.checkable);
        if (onCommand) {
          const CommandId id = item.id;
          QObject::connect(action, &QAction::triggered, &menu, [onCommand, id] { onCommand(id); });
        }
        break;
      }
    }
  }
}

CommandId CommandOf(const QAction* action) {
  if (action == nullptr || action->isSeparator() || action->menu() != nullptr) return CommandId::None;
  return CommandId(action->data().toUInt());
}

bool CMenu::LoadMenu(std::uint32_t id) {
  const std::vector<MenuItem>* resource = FindMenuResource(id);
  if (resource == nullptr) return false;
  m_popups.clear();
  for (const MenuItem& item : *resource) {
    if (item.kind != MenuItem::Kind::Popup) {
      m_popups.push_back(nullptr);
      continue;
    }
    auto popup = std::make_unique<QMenu>(item.caption);
    AppendMenuItems(*popup, item.items);
    m_popups.push_back(std::move(popup));
  }
  return true;
}

QMenu* CMenu::GetSubMenu(int position) const {
  if (position < 0 || position >= int(m_popups.size())) return nullptr;
  return m_popups[std::size_t(position)].get();
}

}  // namespace zef
