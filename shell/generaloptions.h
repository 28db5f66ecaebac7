// The settings section of the main window and its confirmations.
#pragma once

#include "monitor/monitorsettings.h"

namespace zef {

// Section "Init.General": the confirmation of closing, the two of the
// monitor's line commands, and the fitting of the main window to the input
// method.
struct CGeneralOptions : CLineConfirmations {
  bool m_bAskBeforeClose = true;
  bool m_bAdjustWndSip = false;

  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CGeneralOptions&, const CGeneralOptions&) = default;
};

}  // namespace zef
