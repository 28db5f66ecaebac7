// The settings the monitor's own commands read: the two confirmations of its
// line commands and the section "Init.Monitor". Each section's initial values
// are the construction values; the values read when a setting is absent are
// in its rows.
#pragma once

#include "platform/system/datadirection.h"

#include <QString>

namespace zef {

class CProfile;

// Whether Clear and Reset nested calls ask first. Stored in the section
// "Init.General" (CGeneralOptions), which holds them for the monitor.
struct CLineConfirmations {
  bool m_bAskBeforeResetNestedCalls = true;
  bool m_bAskBeforeClearContent = true;

  friend bool operator==(const CLineConfirmations&, const CLineConfirmations&) = default;
};

// Section "Init.Monitor": the log file, the indent string, quick draw, and
// the gutter of times and senders (shown; times since the previous line
// instead of clock times), and whether the view follows new lines.
struct CMonitorSettings {
  bool m_bLogToFile = false;
  QString m_strLogFile = QStringLiteral("\\ZEFMON.LOG");
  QString m_strIndentChars = QStringLiteral("  ");
  bool m_bQuickDraw = true;
  bool m_bShowTimeAndSender = false;
  bool m_bTimeSincePrevious = false;
  bool m_bFollow = false;

  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CMonitorSettings&, const CMonitorSettings&) = default;
};

}  // namespace zef
