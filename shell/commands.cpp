// The frame's command table, command routing, and menu 128 as the menu bar.
#include "shell/app.h"
#include "shell/features.h"
#include "shell/mainframe.h"
#include "platform/dialog/menu.h"

#include <QMenu>
#include <QMenuBar>

namespace zef {
namespace {

bool IsRowEnabled(const CCommandEntry& entry) { return !entry.enabled || entry.enabled(); }

}  // namespace

void CMainFrame::BuildCommandTable() {
  m_commands = {
      {CommandId::EntryFromBuffer, [this] { OnEntryFromBuffer(); }, {}, {}},
      {CommandId::AppExit, [this] { OnAppExit(); }, {}, {}},
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
  // application object. A row's update handler is asked first, whatever
  // the source: a command greyed in the menu does not run when it arrives
  // by its number either, and counts as handled.
  if (const CCommandEntry* entry = FindCommand(id)) {
    if (IsRowEnabled(*entry)) entry->handler();
    return true;
  }
  return m_app.OnCmdMsg(id);
}

bool CMainFrame::IsCommandEnabled(CommandId id) {
  if (const CCommandEntry* entry = FindCommand(id)) return IsRowEnabled(*entry);
  return m_app.HasCommand(id);
}

void CMainFrame::BuildMenuBar() {
  QMenuBar* bar = menuBar();
  const auto onCommand = [this](CommandId id) { OnCmdMsg(id); };
  for (const MenuItem& popup : MainMenu()) AppendMenuItems(*bar->addMenu(popup.caption), popup.items, onCommand);
  // The update handlers run whenever a popup (or a sub-popup) opens.
  const QList<QMenu*> menus = bar->findChildren<QMenu*>();
  for (QMenu* menu : menus) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { OnInitMenuPopup(menu); });
    OnInitMenuPopup(menu);
  }
}

std::unique_ptr<QMenu> CMainFrame::CreateListMenu() {
  auto menu = std::make_unique<QMenu>();
  const std::vector<MenuItem>* resource = FindMenuResource(IDR_LISTMENU);
  // Its one popup's items, run as the menu bar's are.
  if (resource && !resource->empty())
    AppendMenuItems(*menu, resource->front().items, [this](CommandId id) { OnCmdMsg(id); });
  OnInitMenuPopup(menu.get());
  return menu;
}

void CMainFrame::OnInitMenuPopup(QMenu* popup) {
  const QList<QAction*> items = popup->actions();
  for (QAction* action : items) {
    const CommandId id = CommandOf(action);
    if (id == CommandId::None) continue;
    action->setEnabled(IsCommandEnabled(id));
    const CCommandEntry* entry = FindCommand(id);
    if (action->isCheckable()) action->setChecked(entry && entry->checked && entry->checked());
  }
  // The first popup is known by its item 0, Error Lookup; only it sets its
  // sub-popups' selection-driven items.
  if (!items.isEmpty() && CommandOf(items.first()) == CommandId::ErrorLookup) EnableFirstPopupItems(items);
}

void CMainFrame::EnableFirstPopupItems(const QList<QAction*>& items) {
  const int selected = GetList().GetSelCount();
  // Database (2), Processes (3) and Windows (4). An item stays greyed while
  // nothing handles its command, whatever the selection.
  for (const qsizetype position : {2, 3, 4}) {
    QMenu* popup = position < items.size() ? items[position]->menu() : nullptr;
    if (!popup) continue;
    for (QAction* action : popup->actions()) {
      if (action->isSeparator() || action->menu()) continue;
      const auto id = CommandId(action->data().toUInt());
      bool enable = false;
      switch (id) {
        case CommandId::DatabaseListRecords:
        case CommandId::DatabaseDelete:
          enable = !GetSelectedName().isEmpty() && selected == 1;
          break;
        case CommandId::DatabaseDeleteRecord:
          enable = selected == 2;
          break;
        case CommandId::ProcessTerminate:
          enable = GetSelectedProcessId() != 0 && selected == 1;
          break;
        case CommandId::WindowClose:
          enable = GetSelectedWindowHandle() != 0 && selected == 1;
          break;
        default:
          continue;
      }
      action->setEnabled(enable && (FindCommand(id) || m_app.HasCommand(id)));
    }
  }
}

}  // namespace zef
