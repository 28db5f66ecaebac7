#include "shell/generaloptions.h"

#include "platform/system/profilerows.h"

namespace zef {

void CGeneralOptions::Exchange(CProfile& profile, DataDirection direction) {
  const CProfileRow rows[] = {
      {u"AskBeforeCloseZEFMON", m_bAskBeforeClose, true},
      {u"AskBeforeResetNestedCalls", m_bAskBeforeResetNestedCalls, true},
      {u"AskBeforeClearContent", m_bAskBeforeClearContent, true},
      {u"AdjustWndSip", m_bAdjustWndSip, false},
  };
  ExchangeSection(profile, u"Init.General", rows, direction);
}

}  // namespace zef
