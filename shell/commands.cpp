// The frame's command table, command routing, and menu 128 as the menu bar.
#include "shell/app.h"
#include "shell/mainframe.h"
#include "res/menu.h"

#include <QMenuBar>
#include <QTextBrowser>

namespace zef {

struct CMainFrame::CommandEntry {
  CommandId id;
  void (CMainFrame::*handler)();
  // Null: always enabled when its popup opens.
  bool (CMainFrame::*enabled)();
};

const CMainFrame::CommandEntry* CMainFrame::FindCommand(CommandId id) {
  static const CommandEntry table[] = {
      {CommandId::EntryFromBuffer, &CMainFrame::OnEntryFromBuffer, nullptr},
      {CommandId::ViewLine, &CMainFrame::OnViewLine, &CMainFrame::CanViewLine},
      {CommandId::MarkBlock, &CMainFrame::OnMarkBlock, &CMainFrame::CanMarkBlock},
      {CommandId::UnmarkLines, &CMainFrame::OnUnmarkLines, &CMainFrame::CanUnmarkLines},
      {CommandId::Clear, &CMainFrame::OnClear, &CMainFrame::CanClear},
      {CommandId::Find, &CMainFrame::OnFind, &CMainFrame::CanFind},
      {CommandId::ResetNestedCalls, &CMainFrame::OnResetNestedCalls, nullptr},
      {CommandId::Options, &CMainFrame::OnOptions, nullptr},
      {CommandId::SetupMonitor, &CMainFrame::OnSetupMonitor, nullptr},
      {CommandId::SetupDatabase, &CMainFrame::OnSetupDatabase, nullptr},
      {CommandId::AppExit, &CMainFrame::OnAppExit, nullptr},
      {CommandId::HelpContents, &CMainFrame::OnHelpContents, nullptr},
  };
  for (const CommandEntry& entry : table)
    if (entry.id == id) return &entry;
  return nullptr;
}

bool CMainFrame::OnCmdMsg(CommandId id) {
  // The view handles no command of its own; then the frame, then the
  // application object.
  if (const CommandEntry* entry = FindCommand(id)) {
    (this->*entry->handler)();
    return true;
  }
  return m_app.OnCmdMsg(id);
}

bool CMainFrame::IsCommandEnabled(CommandId id) {
  if (const CommandEntry* entry = FindCommand(id)) return !entry->enabled || (this->*entry->enabled)();
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

void CMainFrame::OnHelpContents() {
  if (!m_pHelp) {
    m_pHelp = new QTextBrowser(this);
    m_pHelp->setWindowFlag(Qt::Window);
    m_pHelp->setAttribute(Qt::WA_DeleteOnClose);
    m_pHelp->setWindowTitle(QStringLiteral("ZEFMON Help"));
    m_pHelp->setSource(QUrl(QStringLiteral("qrc:/res/help.html")));
    m_pHelp->resize(560, 640);
  }
  m_pHelp->show();
  m_pHelp->raise();
  m_pHelp->activateWindow();
}

}  // namespace zef
