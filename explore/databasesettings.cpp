#include "explore/databasesettings.h"

#include "platform/system/profilerows.h"

namespace zef {

void CDatabaseSettings::Exchange(CProfile& profile, DataDirection direction) {
  const CProfileRow rows[] = {
      {u"MaxLineLength", m_nMaxLineLength, 179},
      {u"ConfirmTwice", m_bConfirmTwice, true},
  };
  ExchangeSection(profile, u"Init.Database", rows, direction);
}

}  // namespace zef
