#include "shell/mainframe.h"

#include "shell/app.h"
#include "explore/selection.h"
#include "monitor/monitorcommands.h"
#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"

#include <QCloseEvent>
#include <QDir>
#include <QMenu>
#include <QShortcut>
#include <QTimerEvent>

#include <algorithm>

#include <cstdio>

namespace zef {

CMainFrame::CMainFrame(CQrbWinApp& app) : m_app(app), m_wndView(this) {
  connect(&m_settingChange, &CSettingChangeSource::settingChange, this, &CMainFrame::OnSettingChange);
  BuildCommandTable();
}

CMainFrame::~CMainFrame() {
  // Features may own windows parented to the frame: they go first.
  m_features.clear();
  // The view is a member: take it out of the window before QMainWindow's
  // destructor would delete it as the central widget.
  takeCentralWidget();
}

bool CMainFrame::LoadFrame() {
  // The title is the first field of string 128; trace clients find the
  // monitor by it.
  const QString title = LoadString(IDR_MAINFRAME).section(u'\n', 0, 0);
  if (title.isEmpty()) return false;
  RegisterWindow(nullptr, title);
  setWindowTitle(title);
  setWindowIcon(QIcon(QStringLiteral(":/res/icon128.png")));

  // The view must be the main window's first child.
  m_wndView.Create(*this);
  setCentralWidget(&m_wndView);
  setFocusProxy(&m_wndView);

  BuildMenuBar();
  ExchangeSettings(DataDirection::ToControls);
  GetList().SetIndent(m_settings.monitor.m_strIndentChars);
  ApplyGutter(GetList(), m_settings.monitor);
  ApplyFollow(GetList(), m_settings.monitor);
  ApplyHistoryLimit(GetList(), m_settings.monitor);
  GetList().setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&GetList(), &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const std::unique_ptr<QMenu> menu = CreateListMenu();
    menu->exec(GetList().viewport()->mapToGlobal(pos));
  });

  // WM_HELP: the help key opens the contents, as the menu item does.
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] { OnCmdMsg(CommandId::HelpContents); });
  return true;
}

void CMainFrame::AppendLine(const QString& line) { m_intake.AddLine(line, nullptr); }

void CMainFrame::ScrollToEnd() { GetList().ScrollToEnd(); }

int CMainFrame::SelectedLineIndex() {
  CMonitorList& list = GetList();
  if (list.GetSelCount() != 1) return -1;
  const std::vector<int> selected = list.GetSelItems(1);
  return selected.empty() ? -1 : selected.front();
}

QString CMainFrame::GetSelectedLine() { return GetList().GetText(SelectedLineIndex()); }

QString CMainFrame::GetSelectedOwnText() { return GetList().GetOwnText(SelectedLineIndex()); }

QString CMainFrame::GetSelectedName() { return DatabaseNameOfLine(GetSelectedOwnText()); }

std::uint32_t CMainFrame::GetSelectedProcessId() { return ProcessIdOfLine(GetSelectedOwnText()); }

std::uint32_t CMainFrame::GetSelectedWindowHandle() { return WindowHandleOfLine(GetSelectedOwnText()); }

CLookAndFeel CMainFrame::LookAndFeel() const { return m_app.LookAndFeel(); }

bool CMainFrame::SetTimer(std::uint32_t id, int intervalMs, std::function<void()> onTick) {
  KillTimer(id);
  const int qtTimerId = startTimer(std::max(0, intervalMs));
  if (qtTimerId == 0) return false;
  m_timers[id] = CWindowTimer{qtTimerId, std::move(onTick)};
  return true;
}

void CMainFrame::KillTimer(std::uint32_t id) {
  const auto found = m_timers.find(id);
  if (found == m_timers.end()) return;
  killTimer(found->second.m_nQtTimerId);
  m_timers.erase(found);
}

void CMainFrame::OnTimer(std::uint32_t id) {
  const auto found = m_timers.find(id);
  if (found == m_timers.end()) return;
  // A copy: the tick may kill or replace its own timer.
  const std::function<void()> onTick = found->second.m_onTick;
  if (onTick) onTick();
}

void CMainFrame::timerEvent(QTimerEvent* event) {
  for (const auto& [id, timer] : m_timers) {
    if (timer.m_nQtTimerId == event->timerId()) {
      OnTimer(id);
      return;
    }
  }
  QMainWindow::timerEvent(event);
}

void CMainFrame::OnEntryFromBuffer() {
  // A line handed over by a trace client is its sender's; one handed over
  // in-process by the monitor's own tools is the monitor's.
  m_intake.AddLine(GetList().GetWindowText(), CWindowManager::Instance().CurrentPeer());
}

void CMainFrame::OnAppExit() { zef::SendMessage(GetSafeHwnd(), WM_CLOSE); }

LRESULT CMainFrame::WindowProc(std::uint32_t message, WPARAM wParam, std::u16string_view text,
                               std::u16string* textOut) {
  switch (message) {
    case WM_COMMAND:
      OnCmdMsg(CommandId(wParam & 0xFFFF));
      return 0;
    case WM_CLOSE:
      close();
      return 0;
    default:
      return CWindowObject::WindowProc(message, wParam, text, textOut);
  }
}

void CMainFrame::OnWindowTextChanged() { setWindowTitle(GetWindowText()); }

bool CMainFrame::ExchangeSettings(DataDirection direction, QString* reason) {
  CProfile& profile = m_app.GetProfile();
  m_settings.Exchange(profile, m_app.m_lookAndFeel, direction);
  if (direction == DataDirection::FromControls) return profile.Flush(reason);
  for (const auto& feature : m_features) feature->OnSettingsLoaded();
  return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Ending on a signal asks nothing: nobody may be there to answer.
  const bool ask = !m_app.IsEndingWithoutAsking();
  if (ask && m_settings.general.m_bAskBeforeClose &&
      MessageBoxFromTable(this, ToUInt(StringId::ReallyQuit), MB_YESNO | MB_ICONQUESTION) == IDNO) {
    event->ignore();
    return;
  }
  for (const auto& feature : m_features) feature->OnFrameClosing();
  QString reason;
  if (!ExchangeSettings(DataDirection::FromControls, &reason)) {
    // The program still ends; the user learns what was lost and where.
    const QString file = QDir::toNativeSeparators(m_app.GetProfile().FileName());
    std::fprintf(stderr, "zefmon: %s\n",
                 qPrintable(FormatString(LoadString(ToUInt(StringId::SettingsNotSaved)), file, reason)));
    if (ask) MessageBoxFromTable(this, ToUInt(StringId::SettingsNotSaved), MB_OK | MB_ICONEXCLAMATION, file, reason);
  }
  event->accept();
  emit closed();
}

void CMainFrame::OnSettingChange() {
  if (m_settings.general.m_bAdjustWndSip) FitWindowToSip();
}

void CMainFrame::FitWindowToSip() {
  SIPINFO info;
  // Without a readable panel state the window stays as it is.
  if (!SipGetInfo(&info)) return;
  const int width = info.rcVisibleDesktop.right - info.rcVisibleDesktop.left;
  const int height = (info.fdwFlags & SIPF_ON) ? info.rcVisibleDesktop.bottom - info.rcVisibleDesktop.top
                                               : info.rcSipRect.bottom - info.rcVisibleDesktop.top;
  if (width <= 0 || height <= 0) return;
  // The sizes are of the whole window, frame included.
  const QSize frame = frameGeometry().size() - geometry().size();
  resize(width - frame.width(), height - frame.height());
}

}  // namespace zef
