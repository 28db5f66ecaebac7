// The "&Windows" commands: list every top-level window, ask the one whose
// line is selected to close.
#pragma once

#include "monitor/monitorhost.h"

namespace zef {

class CWindowCommands : public CFeature {
 public:
  explicit CWindowCommands(IMonitorHost& host);

  void AddCommands(std::vector<CCommandEntry>& table) override;

 private:
  void OnListWindows();
  void OnCloseWindow();
  bool CanCloseWindow();

  IMonitorHost& m_host;
};

}  // namespace zef
