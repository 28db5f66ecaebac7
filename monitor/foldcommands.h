// Folding calls: "-" on an enter line (or its leave line) folds the call,
// "+" or "=" on a folded call's enter line unfolds it, and the list's own
// menu folds every call at the caret line's depth or unfolds them all.
// Left and Right keep scrolling sideways.
#pragma once

#include "monitor/monitorhost.h"

#include <utility>
#include <vector>

namespace zef {

class CMonitorList;

// The calls whose enter line is a shown row at indent depth `depth` and
// whose leave line is shown: pairs of their enter and leave rows, in order.
std::vector<std::pair<int, int>> CallsAtDepth(const CMonitorList& list, int depth);

class CFoldCommands : public CFeature {
 public:
  explicit CFoldCommands(IMonitorHost& host);

  void AddCommands(std::vector<CCommandEntry>& table) override;

 private:
  void OnFoldKey(bool fold);
  void OnFoldAllAtDepth();
  void OnUnfoldAll();
  bool CanFoldAllAtDepth();
  bool CanUnfoldAll();

  IMonitorHost& m_host;
};

}  // namespace zef
