#include "monitor/monitordlg.h"

#include <QLineEdit>

namespace zef {

CMonitorDlg::CMonitorDlg(const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CSettingsDlg(DialogTemplateId::Monitor, lookAndFeel, parent) {}

void CMonitorDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_CANCEL, m_pCancelBtn);
  DDX_Control(dx, IDC_MON_LOGFILE, m_pLogFileEdit);
  DDX_Check(dx, IDC_MON_LOGTOFILE, m_bLogToFile);
  DDX_Text(dx, IDC_MON_LOGFILE, m_strLogFile);
  DDX_Check(dx, IDC_MON_QUICKDRAW, m_bQuickDraw);
  DDX_Text(dx, IDC_MON_INDENT, m_strIndentChars);
}

bool CMonitorDlg::OnCommand(int id) {
  if (id == IDC_MON_LOGTOFILE) {
    OnLogToFile();
    return true;
  }
  return CSettingsDlg::OnCommand(id);
}

void CMonitorDlg::OnLogToFile() {
  UpdateData(DataDirection::FromControls);
  if (m_pLogFileEdit != nullptr) m_pLogFileEdit->setEnabled(m_bLogToFile != 0);
}

bool RunMonitorSettings(QWidget* parent, const CLookAndFeel& lookAndFeel, CMonitorSettings& settings) {
  CMonitorDlg dlg(lookAndFeel, parent);
  dlg.m_bLogToFile = settings.m_bLogToFile ? 1 : 0;
  dlg.m_strLogFile = settings.m_strLogFile;
  dlg.m_strIndentChars = settings.m_strIndentChars;
  dlg.m_bQuickDraw = settings.m_bQuickDraw ? 1 : 0;
  if (dlg.DoModal() != IDOK) return false;
  settings.m_bLogToFile = dlg.m_bLogToFile != 0;
  settings.m_strLogFile = dlg.m_strLogFile;
  settings.m_strIndentChars = dlg.m_strIndentChars;
  settings.m_bQuickDraw = dlg.m_bQuickDraw != 0;
  return true;
}

}  // namespace zef
