// The settings record: seventeen values in five sections of the profile,
// one struct per section. The features that use a section get a reference
// to it; ExchangeSettings loads and saves them all through one table.
#pragma once

#include "monitor/settings.h"
#include "shell/databasesettingsdlg.h"

namespace zef {

// Section "Init.Loop": the blocking loop and the timer loop.
struct CLoopSettings {
  int m_nLoopCount = 100;
  int m_nLoopDelay = 500;
  int m_nTimerLoopCount = 100;
  int m_nTimerLoopDelay = 200;
  int m_nTimerLoopInterval = 500;
};

// The sections the main frame holds; the fifth, "Init.LaF", is the
// application object's CLookAndFeel.
struct CSettingsRecord {
  CGeneralOptions general;
  CLoopSettings loop;
  CMonitorSettings monitor;
  CDatabaseSettings database;
};

}  // namespace zef
