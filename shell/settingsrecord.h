// The settings record: twenty values in five sections of the profile, the
// filter rules in a sixth (Init.Filters) and the sources in a seventh
// (Init.Sources), each written once there are any; one struct per section,
// each in its feature's folder with its load/save rows.
// The features that use a section get a reference to it.
#pragma once

#include "explore/databasesettings.h"
#include "monitor/filtersettings.h"
#include "monitor/monitorsettings.h"
#include "platform/dialog/lookandfeel.h"
#include "sources/sourcesettings.h"
#include "shell/generaloptions.h"
#include "stress/loopsettings.h"

namespace zef {

// The sections the main frame holds; the fifth, "Init.LaF", is the
// application object's CLookAndFeel.
struct CSettingsRecord {
  CGeneralOptions general;
  CLoopSettings loop;
  CMonitorSettings monitor;
  CDatabaseSettings database;
  CFilterSettings filters;  // saved after the others: the file's older order stays
  CSourceSettings sources;  // last of all, for the same reason

  // Loads (ToControls) or saves (FromControls) every section, `lookAndFeel`
  // last, in the order the file has always had.
  void Exchange(CProfile& profile, CLookAndFeel& lookAndFeel, DataDirection direction);
};

}  // namespace zef
