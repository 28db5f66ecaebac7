#include "explore/processcommands.h"

#include "explore/processlist.h"
#include "explore/selection.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"

namespace zef {

CProcessCommands::CProcessCommands(IMonitorHost& host) : m_host(host) {}

void CProcessCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CProcessCommands;
  table.push_back(MakeCommand(CommandId::ProcessListAll, this, &C::OnListProcesses));
  table.push_back(MakeCommand(CommandId::ProcessTerminate, this, &C::OnTerminateProcess, &C::CanTerminateProcess));
}

bool CProcessCommands::CanTerminateProcess() {
  return m_host.GetList().GetSelCount() == 1 && ProcessIdOfLine(m_host.GetSelectedLine()) != 0;
}

void CProcessCommands::OnListProcesses() {
  m_host.AppendLine(QStringLiteral("Enum processes..."));
  ZEFMON_EnumProcesses();
  m_host.ScrollToEnd();
}

void CProcessCommands::OnTerminateProcess() {
  // The id is read from the line now: a stale line may name a process that
  // has ended, or another one that got its id since.
  const std::uint32_t processId = ProcessIdOfLine(m_host.GetSelectedLine());
  if (processId == 0) return;
  if (MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyTerminateProcess), MB_YESNO | MB_ICONQUESTION,
                          FormatHex4(processId)) == IDNO)
    return;
  ZEFMON_TerminateProcess(processId);
}

}  // namespace zef
