#include "shell/features.h"

#include "monitor/monitorcommands.h"
#include "shell/optioncommands.h"

namespace zef {

std::vector<std::unique_ptr<CFeature>> CreateFeatures(IMonitorHost& host, CSettingsRecord& settings) {
  std::vector<std::unique_ptr<CFeature>> features;
  features.push_back(std::make_unique<CMonitorCommands>(host, settings.general));
  features.push_back(std::make_unique<COptionCommands>(host, settings));
  return features;
}

}  // namespace zef
