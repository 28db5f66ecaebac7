// The General options dialog (template 137): the three confirmations and
// the fitting of the main window to the input method.
#pragma once

#include "platform/dialog/settingsdialog.h"
#include "shell/generaloptions.h"

namespace zef {

using CGeneralOptionsDlg = CSectionDlg<CGeneralOptions, DialogTemplateId::GeneralOptions>;
void ExchangeControls(CDataExchange& dx, CGeneralOptions& options);

}  // namespace zef
