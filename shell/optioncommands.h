// The Setup commands that edit the frame's settings sections, and the help.
#pragma once

#include "monitor/monitorhost.h"
#include "shell/settingsrecord.h"

#include <QPointer>
#include <QTextBrowser>

namespace zef {

class COptionCommands : public CFeature {
 public:
  COptionCommands(IMonitorHost& host, CSettingsRecord& settings);
  ~COptionCommands() override;

  void AddCommands(std::vector<CCommandEntry>& table) override;
  void OnFrameClosing() override;

  QTextBrowser* HelpWindow() const { return m_pHelp; }
  void OnHelpContents();

 private:
  void OnOptions();
  void OnSetupMonitor();
  void OnSetupDatabase();

  IMonitorHost& m_host;
  CSettingsRecord& m_settings;
  QPointer<QTextBrowser> m_pHelp;
};

}  // namespace zef
