#include "stress/loopsettings.h"

#include "platform/system/profilerows.h"

namespace zef {

void CLoopSettings::Exchange(CProfile& profile, DataDirection direction) {
  const CProfileRow rows[] = {
      {u"Count", m_nLoopCount, 100},
      {u"Delay", m_nLoopDelay, 20},
      {u"CountWM_TIMER", m_nTimerLoopCount, 100},
      {u"DelayWM_TIMER", m_nTimerLoopDelay, 60000},
      {u"TimerWM_TIMER", m_nTimerLoopInterval, 90},
  };
  ExchangeSection(profile, u"Init.Loop", rows, direction);
}

}  // namespace zef
