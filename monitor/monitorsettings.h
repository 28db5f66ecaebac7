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
// instead of clock times), whether the view follows new lines, how many MB
// of lines the list keeps (0: no limit) and the log's rotation (a new file
// at N MB, 0: never; how many old files stay).
struct CMonitorSettings {
  // The bounds of the numbers, both included. Rotation keeps at least one
  // old file: with rotation on, the log writer takes a keep count of 0 as 1.
  static constexpr int kMaxHistoryLimitMB = 1048576;  // 1 TB
  static constexpr int kMaxLogRotateMB = 1048576;
  static constexpr int kMaxLogKeep = 999;

  bool m_bLogToFile = false;
  QString m_strLogFile = QStringLiteral("\\ZEFMON.LOG");
  QString m_strIndentChars = QStringLiteral("  ");
  bool m_bQuickDraw = true;
  bool m_bShowTimeAndSender = false;
  bool m_bTimeSincePrevious = false;
  bool m_bFollow = false;
  int m_nHistoryLimitMB = 0;
  int m_nLogRotateMB = 0;
  int m_nLogKeep = 0;

  // Brings the numbers into their bounds (a damaged or hand-edited file).
  void Bound();
  // The size at which the log starts a new file, in bytes; 0: never.
  qint64 LogRotateBytes() const { return qint64(m_nLogRotateMB) << 20; }

  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CMonitorSettings&, const CMonitorSettings&) = default;
};

}  // namespace zef
