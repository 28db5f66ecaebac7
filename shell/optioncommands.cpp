// The Setup commands of the main frame: each copies its settings into its
// dialog and takes them back only when the dialog ends with OK.
#include "shell/app.h"
#include "shell/databasesettingsdlg.h"
#include "shell/generaloptionsdlg.h"
#include "shell/mainframe.h"
#include "monitor/monitordlg.h"

namespace zef {

void CMainFrame::OnOptions() {
  CGeneralOptions options{m_bAskBeforeClose, m_bAskBeforeResetNestedCalls, m_bAskBeforeClearContent, m_bAdjustWndSip};
  if (!RunGeneralOptions(this, m_app.LookAndFeel(), options)) return;
  m_bAskBeforeClose = options.m_bAskBeforeClose;
  m_bAskBeforeResetNestedCalls = options.m_bAskBeforeResetNestedCalls;
  m_bAskBeforeClearContent = options.m_bAskBeforeClearContent;
  m_bAdjustWndSip = options.m_bAdjustWndSip;
}

void CMainFrame::OnSetupMonitor() {
  CMonitorSettings settings{m_bLogToFile, m_strLogFile, m_strIndentChars, m_bQuickDraw};
  if (!RunMonitorSettings(this, m_app.LookAndFeel(), settings)) return;
  m_bLogToFile = settings.m_bLogToFile;
  m_strLogFile = settings.m_strLogFile;
  m_strIndentChars = settings.m_strIndentChars;
  GetList().SetIndent(m_strIndentChars);
  m_bQuickDraw = settings.m_bQuickDraw;
}

void CMainFrame::OnSetupDatabase() {
  CDatabaseSettings settings{m_nMaxLineLength, m_bConfirmTwice};
  if (!RunDatabaseSettings(this, m_app.LookAndFeel(), settings)) return;
  m_nMaxLineLength = settings.m_nMaxLineLength;
  m_bConfirmTwice = settings.m_bConfirmTwice;
}

}  // namespace zef
