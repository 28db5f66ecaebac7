#include "explore/databasesettingsdlg.h"

namespace zef {

CDatabaseSettingsDlg::CDatabaseSettingsDlg(const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CSettingsDlg(DialogTemplateId::DatabaseSettings, lookAndFeel, parent) {}

void CDatabaseSettingsDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_CANCEL, m_pCancelBtn);
  DDX_Text(dx, IDC_DB_MAXLINELENGTH, m_nMaxLineLength);
  DDV_MinMaxInt(dx, m_nMaxLineLength, kMinLineLength, kMaxLineLength);
  DDX_Check(dx, IDC_DB_CONFIRMTWICE, m_bConfirmTwice);
}

bool RunDatabaseSettings(QWidget* parent, const CLookAndFeel& lookAndFeel, CDatabaseSettings& settings) {
  CDatabaseSettingsDlg dlg(lookAndFeel, parent);
  dlg.m_nMaxLineLength = settings.m_nMaxLineLength;
  dlg.m_bConfirmTwice = settings.m_bConfirmTwice ? 1 : 0;
  if (dlg.DoModal() != IDOK) return false;
  settings.m_nMaxLineLength = dlg.m_nMaxLineLength;
  settings.m_bConfirmTwice = dlg.m_bConfirmTwice != 0;
  return true;
}

}  // namespace zef
