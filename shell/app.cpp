#include "app.h"

#include "mainframe.h"
#include "resources.h"

#include <zeftrace/windowhost.h>

namespace zef {

CQrbWinApp::CQrbWinApp(std::unique_ptr<CProfile> profile) : m_pProfile(std::move(profile)) {}

CQrbWinApp::~CQrbWinApp() {
  if (GetLocalWindowHost() == &CWindowManager::Instance()) SetLocalWindowHost(nullptr);
}

bool CQrbWinApp::InitInstance(QString* errorText) {
  InitResources();
  m_pMainWnd = std::make_unique<CMainFrame>(*this);
  if (!m_pMainWnd->LoadFrame()) {
    m_pMainWnd.reset();
    if (errorText) *errorText = QStringLiteral("the main window could not be created");
    return false;
  }
  // The program's own tools trace into their own monitor by direct calls.
  SetLocalWindowHost(&CWindowManager::Instance());
  m_pMainWnd->show();
  return true;
}

struct AppCommandEntry {
  CommandId id;
  void (CQrbWinApp::*handler)();
};

namespace {
// About and Look & Feel are added with their dialogs.
constexpr AppCommandEntry kAppCommands[] = {{CommandId::None, nullptr}};

const AppCommandEntry* FindAppCommand(CommandId id) {
  for (const AppCommandEntry& entry : kAppCommands)
    if (entry.handler && entry.id == id) return &entry;
  return nullptr;
}
}  // namespace

bool CQrbWinApp::OnCmdMsg(CommandId id) {
  const AppCommandEntry* entry = FindAppCommand(id);
  if (!entry) return false;
  (this->*entry->handler)();
  return true;
}

bool CQrbWinApp::HasCommand(CommandId id) const { return FindAppCommand(id) != nullptr; }

void CQrbWinApp::OnAppAbout() {}
void CQrbWinApp::OnLookAndFeel() {}

}  // namespace zef
