#include "shell/settingsrecord.h"

namespace zef {

void CSettingsRecord::Exchange(CProfile& profile, CLookAndFeel& lookAndFeel, DataDirection direction) {
  general.Exchange(profile, direction);
  loop.Exchange(profile, direction);
  monitor.Exchange(profile, direction);
  database.Exchange(profile, direction);
  lookAndFeel.Exchange(profile, direction);
  filters.Exchange(profile, direction);
  sources.Exchange(profile, direction);
}

}  // namespace zef
