#include "shell/generaloptionsdlg.h"

namespace zef {

CGeneralOptionsDlg::CGeneralOptionsDlg(const CLookAndFeel& lookAndFeel, QWidget* parent)
    : CSettingsDlg(DialogTemplateId::GeneralOptions, lookAndFeel, parent) {}

void CGeneralOptionsDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_CANCEL, m_pCancelBtn);
  DDX_Check(dx, IDC_GEN_ASKCLOSE, m_bAskBeforeClose);
  DDX_Check(dx, IDC_GEN_ASKRESET, m_bAskBeforeReset);
  DDX_Check(dx, IDC_GEN_ASKCLEAR, m_bAskBeforeClear);
  DDX_Check(dx, IDC_GEN_ADJUSTSIP, m_bAdjustWindow);
}

bool RunGeneralOptions(QWidget* parent, const CLookAndFeel& lookAndFeel, CGeneralOptions& options) {
  CGeneralOptionsDlg dlg(lookAndFeel, parent);
  dlg.m_bAskBeforeClose = options.m_bAskBeforeClose ? 1 : 0;
  dlg.m_bAskBeforeReset = options.m_bAskBeforeResetNestedCalls ? 1 : 0;
  dlg.m_bAskBeforeClear = options.m_bAskBeforeClearContent ? 1 : 0;
  dlg.m_bAdjustWindow = options.m_bAdjustWndSip ? 1 : 0;
  if (dlg.DoModal() != IDOK) return false;
  options.m_bAskBeforeClose = dlg.m_bAskBeforeClose != 0;
  options.m_bAskBeforeResetNestedCalls = dlg.m_bAskBeforeReset != 0;
  options.m_bAskBeforeClearContent = dlg.m_bAskBeforeClear != 0;
  options.m_bAdjustWndSip = dlg.m_bAdjustWindow != 0;
  return true;
}

}  // namespace zef
