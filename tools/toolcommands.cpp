#include "tools/toolcommands.h"

#include "tools/calcdlg.h"
#include "tools/errorlookupdlg.h"

namespace zef {

CToolCommands::CToolCommands(IMonitorHost& host) : m_host(host) {}

void CToolCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CToolCommands;
  table.push_back(MakeCommand(CommandId::ErrorLookup, this, &C::OnErrorLookup));
  table.push_back(MakeCommand(CommandId::Calculator, this, &C::OnCalculator));
}

void CToolCommands::OnErrorLookup() { RunErrorLookup(m_host.GetWindow()); }

void CToolCommands::OnCalculator() { RunCalculator(m_host.GetWindow()); }

}  // namespace zef
