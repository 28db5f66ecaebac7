#include "monitor/monitordlg.h"

#include <QLineEdit>

#include <algorithm>

namespace zef {

void ExchangeControls(CDataExchange& dx, CMonitorSettings& settings) {
  DDX_Check(dx, IDC_MON_LOGTOFILE, settings.m_bLogToFile);
  DDX_Text(dx, IDC_MON_LOGFILE, settings.m_strLogFile);
  DDX_Check(dx, IDC_MON_QUICKDRAW, settings.m_bQuickDraw);
  DDX_Text(dx, IDC_MON_INDENT, settings.m_strIndentChars);
  DDX_Text(dx, IDC_MON_HISTORYLIMIT, settings.m_nHistoryLimitMB);
  DDV_MinMaxInt(dx, settings.m_nHistoryLimitMB, 0, CMonitorSettings::kMaxHistoryLimitMB);
  DDX_Text(dx, IDC_MON_LOGROTATE, settings.m_nLogRotateMB);
  DDV_MinMaxInt(dx, settings.m_nLogRotateMB, 0, CMonitorSettings::kMaxLogRotateMB);
  DDX_Text(dx, IDC_MON_LOGKEEP, settings.m_nLogKeep);
  DDV_MinMaxInt(dx, settings.m_nLogKeep, 0, CMonitorSettings::kMaxLogKeep);
  // Rotation always keeps one old file: stored as it works.
  if (dx.IsSaving() && !dx.Failed() && settings.m_nLogRotateMB > 0)
    settings.m_nLogKeep = std::max(settings.m_nLogKeep, 1);
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
