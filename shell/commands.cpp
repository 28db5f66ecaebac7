// The frame's command table, command routing, and menu 128 as the menu bar.
#include "shell/app.h"
#include "shell/features.h"
#include "shell/mainframe.h"
#include "res/menu.h"

#include <QMenuBar>

namespace zef {

void CMainFrame::BuildCommandTable() {
  m_commands = {
      {CommandId::EntryFromBuffer, [this] { OnEntryFromBuffer(); }, {}},
      {CommandId::AppExit, [this] { OnAppExit(); }, {}},
  };
  m_features = CreateFeatures(*this, m_settings);
  for (const auto& feature : m_features) feature->AddCommands(m_commands);
}

const CCommandEntry* CMainFrame::FindCommand(CommandId id) const {
  for (const CCommandEntry& entry : m_commands)
    if (entry.id == id) return &entry;
  return nullptr;
}

bool CMainFrame::OnCmdMsg(CommandId id) {
  // The view handles no command of its own; then the frame, then the
  // application object.
  if (const CCommandEntry* entry = FindCommand(id)) {
    entry->handler();
    return true;
  }
  return m_app.OnCmdMsg(id);
}

bool CMainFrame::IsCommandEnabled(CommandId id) {
  if (const CCommandEntry* entry = FindCommand(id)) return !entry->enabled || entry->enabled();
  return m_app.HasCommand(id);
}

namespace {

void AddItems(QMenu* menu, const std::vector<MenuItem>& items, CMainFrame* frame) {
  for (const MenuItem& item : items) {
    switch (item.kind) {
      case MenuItem::Kind::Separator:
        menu->addSeparator();
        break;
      case MenuItem::Kind::Popup:
        AddItems(menu->addMenu(item.caption), item.items, frame);
        break;
      case MenuItem::Kind::Command: {
        QAction* action = menu->addAction(item.caption);
        action->setData(ToUInt(item.id));
        const CommandId id = item.id;
        QObject::connect(action, &QAction::triggered, frame, [frame, id] { frame->OnCmdMsg(id); });
        break;
      }
    }
  }
}

}  // namespace

void CMainFrame::BuildMenuBar() {
  QMenuBar* bar = menuBar();
  for (const MenuItem& popup : MainMenu()) AddItems(bar->addMenu(popup.caption), popup.items, this);
  // The update handlers run whenever a popup (or a sub-popup) opens.
  const QList<QMenu*> menus = bar->findChildren<QMenu*>();
  for (QMenu* menu : menus) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { OnInitMenuPopup(menu); });
    OnInitMenuPopup(menu);
  }
}

void CMainFrame::OnInitMenuPopup(QMenu* popup) {
  for (QAction* action : popup->actions()) {
    if (action->isSeparator() || action->menu()) continue;
    action->setEnabled(IsCommandEnabled(CommandId(action->data().toUInt())));
  }
}

}  // namespace zef
