#include "explore/windowcommands.h"

#include "explore/ownwindows.h"
#include "explore/selection.h"
#include "explore/windowlist.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"

namespace zef {

CWindowCommands::CWindowCommands(IMonitorHost& host) : m_host(host) {}

void CWindowCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CWindowCommands;
  table.push_back(MakeCommand(CommandId::WindowListAll, this, &C::OnListWindows));
  table.push_back(MakeCommand(CommandId::WindowClose, this, &C::OnCloseWindow, &C::CanCloseWindow));
}

bool CWindowCommands::CanCloseWindow() {
  return m_host.GetList().GetSelCount() == 1 && WindowHandleOfLine(m_host.GetSelectedOwnText()) != 0;
}

void CWindowCommands::OnListWindows() {
  m_host.AppendLine(QStringLiteral("Enum windows..."));
  // Each command opens the desktop's windows afresh (a connection of its
  // own to the X server) and lets go when done.
  ZEFMON_EnumWindows(*OpenDesktopWindows());
  m_host.ScrollToEnd();
}

void CWindowCommands::OnCloseWindow() {
  // The handle is read from the line now: a stale line may name a window
  // that is gone, or another one that got its handle since.
  const std::uint32_t hWnd = WindowHandleOfLine(m_host.GetSelectedOwnText());
  if (hWnd == 0) return;
  if (MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyCloseWindow), MB_YESNO | MB_ICONQUESTION,
                          FormatHex4(hWnd)) == IDNO)
    return;
  ZEFMON_CloseWindow(*OpenDesktopWindows(), hWnd);
}

}  // namespace zef
