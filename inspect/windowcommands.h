// The "&Windows" commands: list every top-level window, ask the one whose
// line is selected to close.
#pragma once

#include "monitor/monitorhost.h"
#include "platform/x11/toplevelwindows.h"

#include <functional>
#include <memory>

namespace zef {

class CWindowCommands : public CFeature {
 public:
  // How a command reaches the desktop's windows; each command opens them
  // afresh and lets go when done.
  using TOpenWindows = std::function<std::unique_ptr<ITopLevelWindows>()>;

  explicit CWindowCommands(IMonitorHost& host, TOpenWindows openWindows = {});

  void AddCommands(std::vector<CCommandEntry>& table) override;

 private:
  void OnListWindows();
  void OnCloseWindow();
  bool CanCloseWindow();

  IMonitorHost& m_host;
  TOpenWindows m_openWindows;
};

}  // namespace zef
