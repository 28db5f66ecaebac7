#include "explore/processcommands.h"

#include "explore/processlist.h"
#include "explore/selection.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "platform/system/textunits.h"
#include "res/stringtable.h"

namespace zef {

CProcessCommands::CProcessCommands(IMonitorHost& host) : m_host(host) {}

void CProcessCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CProcessCommands;
  table.push_back(MakeCommand(CommandId::ProcessListAll, this, &C::OnListProcesses));
  table.push_back(MakeCommand(CommandId::ProcessTerminate, this, &C::OnTerminateProcess, &C::CanTerminateProcess));
}

bool CProcessCommands::CanTerminateProcess() {
  return m_host.GetList().GetSelCount() == 1 && ParseProcessLine(m_host.GetSelectedOwnText()).has_value();
}

void CProcessCommands::OnListProcesses() {
  m_host.AppendLine(QStringLiteral("Enum processes..."));
  ZEFMON_EnumProcesses();
  m_host.ScrollToEnd();
}

void CProcessCommands::OnTerminateProcess() {
  // Read from the line now; whether the process at that id still has the
  // line's name is checked when the kill is about to go.
  const std::optional<SProcessLine> line = ParseProcessLine(m_host.GetSelectedOwnText());
  if (!line) return;
  if (MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyTerminateProcess), MB_YESNO | MB_ICONQUESTION,
                          FormatHex4(line->nProcessId), ShownText(line->strName)) == IDNO)
    return;
  ZEFMON_TerminateProcess(line->nProcessId, TraceView(line->strName));
}

}  // namespace zef
