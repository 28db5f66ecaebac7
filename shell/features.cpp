#include "shell/features.h"

#include "explore/databasecommands.h"
#include "explore/processcommands.h"
#include "explore/windowcommands.h"
#include "monitor/callcommands.h"
#include "monitor/filtercommands.h"
#include "monitor/foldcommands.h"
#include "monitor/linetransfer.h"
#include "monitor/monitorcommands.h"
#include "shell/optioncommands.h"
#include "shell/sourcecommands.h"
#include "stress/stresscommands.h"
#include "tools/toolcommands.h"

#include <zefstore/store.h>

namespace zef {

std::vector<std::unique_ptr<CFeature>> CreateFeatures(IMonitorHost& host, CSettingsRecord& settings) {
  std::vector<std::unique_ptr<CFeature>> features;
  features.push_back(std::make_unique<CMonitorCommands>(host, settings.general, settings.monitor));
  features.push_back(std::make_unique<CLineTransfer>(host));
  features.push_back(std::make_unique<CFilterCommands>(host, settings.filters));
  features.push_back(std::make_unique<CCallCommands>(host));
  features.push_back(std::make_unique<CFoldCommands>(host));
  features.push_back(std::make_unique<COptionCommands>(host, settings));
  features.push_back(std::make_unique<CSourceCommands>(host, settings.sources));
  features.push_back(std::make_unique<CStressCommands>(host, settings.loop));
  features.push_back(std::make_unique<CToolCommands>(host));
  features.push_back(std::make_unique<CDatabaseCommands>(host, settings.database, store::DefaultStorePath()));
  features.push_back(std::make_unique<CProcessCommands>(host));
  features.push_back(std::make_unique<CWindowCommands>(host));
  return features;
}

}  // namespace zef
