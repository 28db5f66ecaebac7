// The settings sections the monitor's own commands use. Each struct is one
// section of the profile; its initial values are the construction values,
// the values read when a setting is absent are in the settings table.
#pragma once

#include <QString>

namespace zef {

// Section "Init.General": the three confirmations and the fitting of the
// main window to the input method.
struct CGeneralOptions {
  bool m_bAskBeforeClose = true;
  bool m_bAskBeforeResetNestedCalls = true;
  bool m_bAskBeforeClearContent = true;
  bool m_bAdjustWndSip = false;
};

// Section "Init.Monitor": the log file, the indent string, quick draw, and
// the gutter of times and senders (shown; times since the previous line
// instead of clock times).
struct CMonitorSettings {
  bool m_bLogToFile = false;
  QString m_strLogFile = QStringLiteral("\\ZEFMON.LOG");
  QString m_strIndentChars = QStringLiteral("  ");
  bool m_bQuickDraw = true;
  bool m_bShowTimeAndSender = false;
  bool m_bTimeSincePrevious = false;
};

}  // namespace zef
