// The twenty-three settings as the tests see them: where each is stored, its
// value from construction until the load, its value when absent from the
// file, and a value that is neither, each reached through the field it
// belongs to.
#pragma once

#include "shell/app.h"
#include "shell/mainframe.h"

#include <QVariant>

#include <span>

namespace zef::test {

struct CSettingRow {
  const char* section;
  const char* key;
  QVariant construction;
  QVariant loadDefault;
  // Differs from the load default; `iniText` is how the file holds it.
  QVariant other;
  const char* iniText;
  QVariant (*get)(CMainFrame&, CQrbWinApp&);
  void (*set)(CMainFrame&, CQrbWinApp&, const QVariant&);
};

#define ZEF_SETTING_FIELD(expr)                                    \
  [](CMainFrame& m, CQrbWinApp& a) {                               \
    Q_UNUSED(m)                                                    \
    Q_UNUSED(a)                                                    \
    return QVariant(expr);                                         \
  },                                                               \
      [](CMainFrame& m, CQrbWinApp& a, const QVariant& v) {        \
        Q_UNUSED(m)                                                \
        Q_UNUSED(a)                                                \
        expr = v.value<std::remove_reference_t<decltype(expr)>>(); \
      }

inline std::span<const CSettingRow> SettingRows() {
  static const CSettingRow rows[] = {
      {"Init.General", "AskBeforeCloseZEFMON", true, true, false, "0",
       ZEF_SETTING_FIELD(m.Settings().general.m_bAskBeforeClose)},
      {"Init.General", "AskBeforeResetNestedCalls", true, true, false, "0",
       ZEF_SETTING_FIELD(m.Settings().general.m_bAskBeforeResetNestedCalls)},
      {"Init.General", "AskBeforeClearContent", true, true, false, "0",
       ZEF_SETTING_FIELD(m.Settings().general.m_bAskBeforeClearContent)},
      {"Init.General", "AdjustWndSip", false, false, true, "1",
       ZEF_SETTING_FIELD(m.Settings().general.m_bAdjustWndSip)},
      {"Init.Loop", "Count", 100, 100, 7, "7", ZEF_SETTING_FIELD(m.Settings().loop.m_nLoopCount)},
      {"Init.Loop", "Delay", 500, 20, 33, "33", ZEF_SETTING_FIELD(m.Settings().loop.m_nLoopDelay)},
      {"Init.Loop", "CountWM_TIMER", 100, 100, 12, "12", ZEF_SETTING_FIELD(m.Settings().loop.m_nTimerLoopCount)},
      {"Init.Loop", "DelayWM_TIMER", 200, 60000, 1234, "1234", ZEF_SETTING_FIELD(m.Settings().loop.m_nTimerLoopDelay)},
      {"Init.Loop", "TimerWM_TIMER", 500, 90, 250, "250", ZEF_SETTING_FIELD(m.Settings().loop.m_nTimerLoopInterval)},
      {"Init.Monitor", "LogToFile", false, false, true, "1", ZEF_SETTING_FIELD(m.Settings().monitor.m_bLogToFile)},
      {"Init.Monitor", "LogFile", QStringLiteral("\\ZEFMON.LOG"), QStringLiteral("\\ZEFMON.LOG"),
       QStringLiteral("/var/tmp/other.log"), "/var/tmp/other.log",
       ZEF_SETTING_FIELD(m.Settings().monitor.m_strLogFile)},
      {"Init.Monitor", "IndentChars", QStringLiteral("  "), QStringLiteral("  "), QStringLiteral(">>"), ">>",
       ZEF_SETTING_FIELD(m.Settings().monitor.m_strIndentChars)},
      {"Init.Monitor", "QDraw", true, true, false, "0", ZEF_SETTING_FIELD(m.Settings().monitor.m_bQuickDraw)},
      {"Init.Monitor", "ShowTimeAndSender", false, false, true, "1",
       ZEF_SETTING_FIELD(m.Settings().monitor.m_bShowTimeAndSender)},
      {"Init.Monitor", "TimeSincePrevious", false, false, true, "1",
       ZEF_SETTING_FIELD(m.Settings().monitor.m_bTimeSincePrevious)},
      {"Init.Monitor", "Follow", false, false, true, "1", ZEF_SETTING_FIELD(m.Settings().monitor.m_bFollow)},
      {"Init.Monitor", "HistoryLimitMB", 0, 0, 64, "64", ZEF_SETTING_FIELD(m.Settings().monitor.m_nHistoryLimitMB)},
      {"Init.Monitor", "LogRotateMB", 0, 0, 8, "8", ZEF_SETTING_FIELD(m.Settings().monitor.m_nLogRotateMB)},
      {"Init.Monitor", "LogKeep", 0, 0, 5, "5", ZEF_SETTING_FIELD(m.Settings().monitor.m_nLogKeep)},
      {"Init.Database", "MaxLineLength", 179, 179, 64, "64", ZEF_SETTING_FIELD(m.Settings().database.m_nMaxLineLength)},
      {"Init.Database", "ConfirmTwice", true, true, false, "0",
       ZEF_SETTING_FIELD(m.Settings().database.m_bConfirmTwice)},
      {"Init.LaF", "ShowCancelBtn", false, true, false, "0", ZEF_SETTING_FIELD(a.m_lookAndFeel.m_bShowCancelBtn)},
      {"Init.LaF", "NoFullScreenDlg", false, true, false, "0", ZEF_SETTING_FIELD(a.m_lookAndFeel.m_bNoFullScreenDlg)},
  };
  return rows;
}

#undef ZEF_SETTING_FIELD

// "Init.Loop/Count": the key under which QSettings reads the row back.
inline QString SettingPath(const CSettingRow& row) {
  return QString::fromLatin1(row.section) + u'/' + QString::fromLatin1(row.key);
}

}  // namespace zef::test
