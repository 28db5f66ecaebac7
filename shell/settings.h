// The settings record: nineteen values in five sections of the profile,
// one struct per section. The features that use a section get a reference
// to it; ExchangeSettings loads and saves them all through one table.
#pragma once

#include "monitor/settings.h"
#include "explore/databasesettingsdlg.h"
#include "stress/settings.h"

namespace zef {

// The sections the main frame holds; the fifth, "Init.LaF", is the
// application object's CLookAndFeel.
struct CSettingsRecord {
  CGeneralOptions general;
  CLoopSettings loop;
  CMonitorSettings monitor;
  CDatabaseSettings database;
};

}  // namespace zef
