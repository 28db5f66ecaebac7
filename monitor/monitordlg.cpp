#include "monitor/monitordlg.h"

#include <QLineEdit>

namespace zef {

void ExchangeControls(CDataExchange& dx, CMonitorSettings& settings) {
  DDX_Check(dx, IDC_MON_LOGTOFILE, settings.m_bLogToFile);
  DDX_Text(dx, IDC_MON_LOGFILE, settings.m_strLogFile);
  DDX_Check(dx, IDC_MON_QUICKDRAW, settings.m_bQuickDraw);
  DDX_Text(dx, IDC_MON_INDENT, settings.m_strIndentChars);
}

void CMonitorDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_MON_LOGFILE, m_pLogFileEdit);
  CSectionDlg::DoDataExchange(dx);
}

bool CMonitorDlg::OnCommand(int id) {
  if (id == IDC_MON_LOGTOFILE) {
    OnLogToFile();
    return true;
  }
  return CSectionDlg::OnCommand(id);
}

void CMonitorDlg::OnLogToFile() {
  UpdateData(DataDirection::FromControls);
  if (m_pLogFileEdit != nullptr) m_pLogFileEdit->setEnabled(m_section.m_bLogToFile);
}

}  // namespace zef
