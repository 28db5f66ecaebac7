#include "shell/app.h"

#include "shell/aboutdlg.h"
#include "shell/lookandfeeldlg.h"
#include "shell/mainframe.h"
#include "platform/window/windowserver.h"
#include "res/resources.h"

#include <zeftrace/windowhost.h>

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstdio>

namespace zef {

CQrbWinApp::CQrbWinApp(std::unique_ptr<CProfile> profile) : m_pProfile(std::move(profile)) {}

CQrbWinApp::~CQrbWinApp() {
  m_pServer.reset();
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
  // A desktop has no screen-filling default: start at a working size.
  const QRect available = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                           : QRect(0, 0, 800, 600);
  m_pMainWnd->resize(std::min(760, available.width()), std::min(560, available.height()));
  m_pMainWnd->show();

  // Without the socket the monitor still works for its own tools; say why
  // other programs cannot reach it.
  m_pServer = std::make_unique<CWindowServer>(CWindowManager::Instance());
  // What the server refused or dropped, and where it serves when it had to
  // leave the usual place: a line of its own in the list and on stderr.
  CMainFrame* frame = m_pMainWnd.get();
  QObject::connect(m_pServer.get(), &CWindowServer::Notice, frame, [frame](const QString& text) {
    std::fprintf(stderr, "zefmon: %s\n", qPrintable(text));
    frame->AppendLine(text);
  });
  QString serveError;
  if (!m_pServer->Listen(m_pMainWnd->GetWindowText(), &serveError)) {
    const QString line = QStringLiteral("Trace clients cannot reach this monitor: ") + serveError;
    std::fprintf(stderr, "zefmon: %s\n", qPrintable(line));
    m_pMainWnd->AppendLine(line);
  }
  return true;
}

struct AppCommandEntry {
  CommandId id;
  void (CQrbWinApp::*handler)();
};

namespace {
constexpr AppCommandEntry kAppCommands[] = {
    {CommandId::AppAbout, &CQrbWinApp::OnAppAbout},
    {CommandId::LookAndFeel, &CQrbWinApp::OnLookAndFeel},
};

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

void CQrbWinApp::OnAppAbout() { RunAbout(m_pMainWnd.get()); }

void CQrbWinApp::OnLookAndFeel() {
  CLookAndFeel flags{m_bShowCancelBtn, m_bNoFullScreenDlg};
  if (!RunLookAndFeel(m_pMainWnd.get(), flags)) return;
  m_bShowCancelBtn = flags.m_bShowCancelBtn;
  m_bNoFullScreenDlg = flags.m_bNoFullScreenDlg;
}

CLookAndFeel CQrbWinApp::LookAndFeel() const { return CLookAndFeel{m_bShowCancelBtn, m_bNoFullScreenDlg}; }

}  // namespace zef
