// How the settings dialogs present themselves: the section "Init.LaF".
// Passed in to each dialog, so dialogs read no global state.
#pragma once

#include "platform/system/datadirection.h"

namespace zef {

class CProfile;

struct CLookAndFeel {
  bool m_bShowCancelBtn = true;    // move the Cancel button into view
  bool m_bNoFullScreenDlg = true;  // centred at the dialog's own size, not filling the screen

  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CLookAndFeel&, const CLookAndFeel&) = default;
};

}  // namespace zef
