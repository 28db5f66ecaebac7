#include "platform/dialog/lookandfeel.h"

#include "platform/system/profilerows.h"

namespace zef {

void CLookAndFeel::Exchange(CProfile& profile, DataDirection direction) {
  const CProfileRow rows[] = {
      {u"ShowCancelBtn", m_bShowCancelBtn, true},
      {u"NoFullScreenDlg", m_bNoFullScreenDlg, true},
  };
  ExchangeSection(profile, u"Init.LaF", rows, direction);
}

}  // namespace zef
