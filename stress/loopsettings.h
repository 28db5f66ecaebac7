// The settings section of the stress loops. Its initial values are the
// construction values; the values read when a setting is absent are in its
// rows.
#pragma once

#include "platform/system/datadirection.h"

namespace zef {

class CProfile;

// Section "Init.Loop": the blocking loop and the timer loop. A negative
// delay or interval is taken as 0.
struct CLoopSettings {
  int m_nLoopCount = 100;          // index lines of the blocking loop
  int m_nLoopDelay = 500;          // ms slept before each of them
  int m_nTimerLoopCount = 100;     // tick lines of the timer loop
  int m_nTimerLoopDelay = 200;     // edited and saved; no loop reads it
  int m_nTimerLoopInterval = 500;  // ms between ticks, read when the loop starts

  // Note: three values read when absent differ from the construction values
  // (Delay 20, DelayWM_TIMER 60000, TimerWM_TIMER 90); a fresh installation
  // runs with these.
  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CLoopSettings&, const CLoopSettings&) = default;
};

}  // namespace zef
