// The tools of the first popup: "&Error Lookup..." and "&Calculator...".
#pragma once

#include "monitor/monitorhost.h"

namespace zef {

class CToolCommands : public CFeature {
 public:
  explicit CToolCommands(IMonitorHost& host);

  void AddCommands(std::vector<CCommandEntry>& table) override;

 private:
  void OnErrorLookup();
  void OnCalculator();

  IMonitorHost& m_host;
};

}  // namespace zef
