#include "shell/generaloptionsdlg.h"

namespace zef {

void ExchangeControls(CDataExchange& dx, CGeneralOptions& options) {
  DDX_Check(dx, IDC_GEN_ASKCLOSE, options.m_bAskBeforeClose);
  DDX_Check(dx, IDC_GEN_ASKRESET, options.m_bAskBeforeResetNestedCalls);
  DDX_Check(dx, IDC_GEN_ASKCLEAR, options.m_bAskBeforeClearContent);
  DDX_Check(dx, IDC_GEN_ADJUSTSIP, options.m_bAdjustWndSip);
}

}  // namespace zef
