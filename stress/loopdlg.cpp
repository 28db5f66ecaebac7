#include "stress/loopdlg.h"

namespace zef {

void ExchangeControls(CDataExchange& dx, CLoopSettings& loop) {
  // The counts before the delays: a refused count is reported before a
  // refused delay.
  DDX_Text(dx, IDC_LOOP_COUNT, loop.m_nLoopCount);
  DDX_Text(dx, IDC_TIMERLOOP_COUNT, loop.m_nTimerLoopCount);
  DDX_Text(dx, IDC_LOOP_DELAY, loop.m_nLoopDelay);
  DDX_Text(dx, IDC_TIMERLOOP_DELAY, loop.m_nTimerLoopDelay);
  DDX_Text(dx, IDC_TIMERLOOP_INTERVAL, loop.m_nTimerLoopInterval);
}

}  // namespace zef
