// The Database settings dialog (template 136): the line length of database
// listings and the second confirmation of deletions.
#pragma once

#include "explore/databasesettings.h"
#include "platform/dialog/settingsdialog.h"

namespace zef {

using CDatabaseSettingsDlg = CSectionDlg<CDatabaseSettings, DialogTemplateId::DatabaseSettings>;
// A line length outside 32..1024 is shown as it is, but OK refuses it.
void ExchangeControls(CDataExchange& dx, CDatabaseSettings& settings);

}  // namespace zef
