// The list of features whose commands make up the main frame's command
// table. Adding a feature touches the shell here and nowhere else.
#pragma once

#include "monitor/monitorhost.h"
#include "shell/settingsrecord.h"

#include <memory>
#include <vector>

namespace zef {

std::vector<std::unique_ptr<CFeature>> CreateFeatures(IMonitorHost& host, CSettingsRecord& settings);

}  // namespace zef
