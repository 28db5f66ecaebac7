#include "stress/loopdlg.h"

namespace zef {

CLoopDlg::CLoopDlg(const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CSettingsDlg(DialogTemplateId::LoopSettings, lookAndFeel, parent) {}

void CLoopDlg::DoDataExchange(CDataExchange& dx) {
  // The counts before the delays: a refused count is reported before a
  // refused delay.
  DDX_Control(dx, IDC_CANCEL, m_pCancelBtn);
  DDX_Text(dx, IDC_LOOP_COUNT, m_nLoopCount);
  DDX_Text(dx, IDC_TIMERLOOP_COUNT, m_nTimerLoopCount);
  DDX_Text(dx, IDC_LOOP_DELAY, m_nLoopDelay);
  DDX_Text(dx, IDC_TIMERLOOP_DELAY, m_nTimerLoopDelay);
  DDX_Text(dx, IDC_TIMERLOOP_INTERVAL, m_nTimerLoopInterval);
}

bool RunLoopSettings(QWidget* parent, const CLookAndFeel& lookAndFeel, CLoopSettings& settings) {
  CLoopDlg dlg(lookAndFeel, parent);
  dlg.m_nLoopCount = settings.m_nLoopCount;
  dlg.m_nLoopDelay = settings.m_nLoopDelay;
  dlg.m_nTimerLoopCount = settings.m_nTimerLoopCount;
  dlg.m_nTimerLoopDelay = settings.m_nTimerLoopDelay;
  dlg.m_nTimerLoopInterval = settings.m_nTimerLoopInterval;
  if (dlg.DoModal() != IDOK) return false;
  settings.m_nLoopCount = dlg.m_nLoopCount;
  settings.m_nLoopDelay = dlg.m_nLoopDelay;
  settings.m_nTimerLoopCount = dlg.m_nTimerLoopCount;
  settings.m_nTimerLoopDelay = dlg.m_nTimerLoopDelay;
  settings.m_nTimerLoopInterval = dlg.m_nTimerLoopInterval;
  return true;
}

}  // namespace zef
