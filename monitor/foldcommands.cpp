#include "monitor/foldcommands.h"

#include "monitor/monitorcommands.h"
#include "monitor/monitorlist.h"

namespace zef {

std::vector<std::pair<int, int>> CallsAtDepth(const CMonitorList& list, int depth) {
  std::vector<std::pair<int, int>> calls;
  const int count = list.GetCount();
  for (int row = 0; row < count; ++row) {
    if (list.GetDepth(row) != depth || !list.LineContains(row, u'{') || list.IsFolded(row)) continue;
    const int leave = MatchingLine(list, row);
    if (leave > row) calls.emplace_back(row, leave);
  }
  return calls;
}

CFoldCommands::CFoldCommands(IMonitorHost& host) : m_host(host) {
  CMonitorList& list = host.GetList();
  QObject::connect(&list, &CMonitorList::FoldKeyPressed, &list, [this](bool fold) { OnFoldKey(fold); });
}

void CFoldCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CFoldCommands;
  table.push_back(MakeCommand(CommandId::FoldAllAtDepth, this, &C::OnFoldAllAtDepth, &C::CanFoldAllAtDepth));
  table.push_back(MakeCommand(CommandId::UnfoldAll, this, &C::OnUnfoldAll, &C::CanUnfoldAll));
}

void CFoldCommands::OnFoldKey(bool fold) {
  CMonitorList& list = m_host.GetList();
  const int caret = list.GetCurSel();
  if (caret < 0) return;
  if (!fold) {
    list.UnfoldCall(caret);
    return;
  }
  // The caret on a folded call's enter line: nothing more to fold.
  if (list.IsFolded(caret)) return;
  const int match = MatchingLine(list, caret);
  if (match < 0) return;
  list.FoldCalls({{std::min(caret, match), std::max(caret, match)}});
}

bool CFoldCommands::CanFoldAllAtDepth() { return m_host.GetList().GetCurSel() >= 0; }

bool CFoldCommands::CanUnfoldAll() { return m_host.GetList().HasFolds(); }

void CFoldCommands::OnFoldAllAtDepth() {
  CMonitorList& list = m_host.GetList();
  list.FoldCalls(CallsAtDepth(list, list.GetDepth(list.GetCurSel())));
}

void CFoldCommands::OnUnfoldAll() { m_host.GetList().UnfoldAll(); }

}  // namespace zef
