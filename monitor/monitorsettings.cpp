#include "monitor/monitorsettings.h"

#include "platform/system/profilerows.h"

#include <algorithm>

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
      {u"HistoryLimitMB", m_nHistoryLimitMB, 0},
      {u"LogRotateMB", m_nLogRotateMB, 0},
      {u"LogKeep", m_nLogKeep, 0},
  };
  ExchangeSection(profile, u"Init.Monitor", rows, direction);
  if (direction == DataDirection::ToControls) Bound();
}

void CMonitorSettings::Bound() {
  m_nHistoryLimitMB = std::clamp(m_nHistoryLimitMB, 0, kMaxHistoryLimitMB);
  m_nLogRotateMB = std::clamp(m_nLogRotateMB, 0, kMaxLogRotateMB);
  m_nLogKeep = std::clamp(m_nLogKeep, 0, kMaxLogKeep);
}

}  // namespace zef
