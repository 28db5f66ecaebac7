#include "monitor/monitorsettings.h"

#include "platform/system/profilerows.h"

namespace zef {

void CMonitorSettings::Exchange(CProfile& profile, DataDirection direction) {
  const CProfileRow rows[] = {
      {u"LogToFile", m_bLogToFile, false},
      {u"LogFile", m_strLogFile, u"\\ZEFMON.LOG"},
      {u"IndentChars", m_strIndentChars, u"  "},
      {u"QDraw", m_bQuickDraw, true},
      {u"ShowTimeAndSender", m_bShowTimeAndSender, false},
      {u"TimeSincePrevious", m_bTimeSincePrevious, false},
      {u"Follow", m_bFollow, false},
  };
  ExchangeSection(profile, u"Init.Monitor", rows, direction);
}

}  // namespace zef
