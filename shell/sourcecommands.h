// Setup > Sources...: the sources the monitor runs besides its socket
// (followed files, the kernel log, the journal), kept in Init.Sources and
// run by one CSourceSet whose lines enter through the host's AddSourceLine.
// Sources given on the command line run for the session beside the saved
// ones, listed in the dialog as such, and are saved only when the user
// keeps them there.
#pragma once

#include "monitor/monitorhost.h"
#include "sources/sourceset.h"
#include "sources/sourcesettings.h"

namespace zef {

class CSourceCommands : public CFeature {
 public:
  // `settings` is the frame's Init.Sources section; both outlive the feature.
  CSourceCommands(IMonitorHost& host, CSourceSettings& settings);

  void AddCommands(std::vector<CCommandEntry>& table) override;
  // The window goes: its sources stop reading.
  void OnFrameClosing() override;

  // Starts the saved sources and `commandLine`'s for this session, once the
  // window shows; what the saved list left out is said first, a line each.
  void Start(const std::vector<SSource>& commandLine);
  const CSourceSet& Set() const { return m_set; }

 private:
  void OnSetupSources();

  IMonitorHost& m_host;
  CSourceSettings& m_settings;
  CSourceSet m_set;
};

}  // namespace zef
