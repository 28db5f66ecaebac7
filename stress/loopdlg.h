// The Loop Settings dialog (template 130): the five settings of the two
// stress loops.
#pragma once

#include "platform/dialog/settingsdialog.h"
#include "stress/loopsettings.h"

namespace zef {

using CLoopDlg = CSectionDlg<CLoopSettings, DialogTemplateId::LoopSettings>;
// Any 32-bit integer is taken, zero and negative ones included; text that is
// not one keeps the dialog open at that edit.
void ExchangeControls(CDataExchange& dx, CLoopSettings& loop);

}  // namespace zef
