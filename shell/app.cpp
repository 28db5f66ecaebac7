#include "shell/app.h"

#include "shell/aboutdlg.h"
#include "shell/lookandfeeldlg.h"
#include "shell/mainframe.h"
#include "platform/window/windowserver.h"
#include "shell/sourcecommands.h"
#include "res/resources.h"

#include <zeftrace/trace.h>
#include <zeftrace/windowhost.h>

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace zef {
namespace {

// How far a second monitor opens from where the first one did.
constexpr int kSecondMonitorOffset = 40;

}  // namespace

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
  // Their lines carry window titles and process names that other programs
  // chose: the copy on standard error shows their controls, never obeys them.
  SetTraceMirror(ETraceMirror::kEscaped);
  SetLocalWindowHost(&CWindowManager::Instance());

  // Serving is settled before the window shows, so that a second monitor
  // can open beside the first instead of exactly over it.
  m_pServer = std::make_unique<CWindowServer>(CWindowManager::Instance());
  // What the server refused or dropped, and where it serves when it had to
  // leave the usual place: a line of its own in the list and on stderr.
  CMainFrame* frame = m_pMainWnd.get();
  QObject::connect(m_pServer.get(), &CWindowServer::Notice, frame, [frame](const QString& text) {
    std::fprintf(stderr, "zefmon: %s\n", qPrintable(text));
    frame->AppendLine(text);
  });
  // A client that went away inside calls is reported by a line.
  QObject::connect(m_pServer.get(), &CWindowServer::PeerGone, frame,
                   [frame](quint32 id) { frame->Intake().PeerGone(id); });
  QString serveError;
  const EListenError listen = m_pServer->Listen(m_pMainWnd->GetWindowText(), &serveError);
  const bool serving = listen == EListenError::kNone;
  const bool secondMonitor = listen == EListenError::kServedElsewhere;

  // A desktop has no screen-filling default: start at a working size,
  // centred, or offset from there when another monitor is already open.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  const QSize size(std::min(760, available.width()), std::min(560, available.height()));
  m_pMainWnd->resize(size);
  QPoint topLeft = available.center() - QPoint(size.width() / 2, size.height() / 2);
  if (secondMonitor) {
    topLeft += QPoint(kSecondMonitorOffset, kSecondMonitorOffset);
    topLeft.setX(std::max(available.left(), std::min(topLeft.x(), available.right() + 1 - size.width())));
    topLeft.setY(std::max(available.top(), std::min(topLeft.y(), available.bottom() + 1 - size.height())));
  }
  m_pMainWnd->move(topLeft);
  m_pMainWnd->show();

  // Without the socket the monitor still works for its own tools; its first
  // line says where other programs' lines go instead.
  if (!serving) {
    const QString line = secondMonitor ? QStringLiteral(
                                             "Another ZEFMON is already running: trace clients reach that one, not "
                                             "this one.")
                                       : QStringLiteral("Trace clients cannot reach this monitor: ") + serveError;
    std::fprintf(stderr, "zefmon: %s\n", qPrintable(line));
    m_pMainWnd->AppendLine(line);
  }
  return true;
}

void CQrbWinApp::StartSources(const std::vector<SSource>& commandLine) {
  if (auto* sources = m_pMainWnd->GetFeature<CSourceCommands>()) sources->Start(commandLine);
}

void CQrbWinApp::EndWithoutAsking() {
  m_bEndingWithoutAsking = true;
  // Each dismissed window hides at once and uncovers the one below it; the
  // bound only guards against a window that refuses to go.
  for (int i = 0; i < 64; ++i) {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      popup->close();
    } else if (QWidget* modal = QApplication::activeModalWidget()) {
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      else modal->close();
    } else {
      break;
    }
  }
  // Closed from the event loop rather than within this call, which may run
  // inside the nested loop of a dialog just dismissed.
  if (m_pMainWnd) QTimer::singleShot(0, m_pMainWnd.get(), [frame = m_pMainWnd.get()] { frame->close(); });
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

void CQrbWinApp::OnLookAndFeel() { RunSettingsDialog<CLookAndFeelDlg>(m_pMainWnd.get(), m_lookAndFeel); }

CLookAndFeel CQrbWinApp::LookAndFeel() const { return m_lookAndFeel; }

}  // namespace zef
