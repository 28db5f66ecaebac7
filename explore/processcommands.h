// The "&Processes" commands: list every process, terminate the one whose
// line is selected.
#pragma once

#include "monitor/monitorhost.h"

namespace zef {

class CProcessCommands : public CFeature {
 public:
  explicit CProcessCommands(IMonitorHost& host);

  void AddCommands(std::vector<CCommandEntry>& table) override;

 private:
  void OnListProcesses();
  void OnTerminateProcess();
  bool CanTerminateProcess();

  IMonitorHost& m_host;
};

}  // namespace zef
