// The settings record: nineteen values in five sections of the profile,
// loaded and saved through one table over the section structs.
#include "shell/app.h"
#include "shell/mainframe.h"

#include <variant>

namespace zef {

bool CMainFrame::ExchangeSettings(bool load, QString* reason) {
  // One row per value, in the order they are read and written. Booleans and
  // integers carry their default when absent, strings theirs.
  //
  // Note: the defaults when absent are not all the construction values
  // (Delay 20 against 500, DelayWM_TIMER 60000 against 200, TimerWM_TIMER 90
  // against 500, the Look & Feel flags 1 against 0); a fresh installation
  // runs with these.
  struct Row {
    const char16_t* section;
    const char16_t* entry;
    std::variant<bool*, int*, QString*> field;
    int intDefault;
    const char16_t* textDefault;
  };
  const Row rows[] = {
      {u"Init.General", u"AskBeforeCloseZEFMON", &m_settings.general.m_bAskBeforeClose, 1, nullptr},
      {u"Init.General", u"AskBeforeResetNestedCalls", &m_settings.general.m_bAskBeforeResetNestedCalls, 1, nullptr},
      {u"Init.General", u"AskBeforeClearContent", &m_settings.general.m_bAskBeforeClearContent, 1, nullptr},
      {u"Init.General", u"AdjustWndSip", &m_settings.general.m_bAdjustWndSip, 0, nullptr},
      {u"Init.Loop", u"Count", &m_settings.loop.m_nLoopCount, 100, nullptr},
      {u"Init.Loop", u"Delay", &m_settings.loop.m_nLoopDelay, 20, nullptr},
      {u"Init.Loop", u"CountWM_TIMER", &m_settings.loop.m_nTimerLoopCount, 100, nullptr},
      {u"Init.Loop", u"DelayWM_TIMER", &m_settings.loop.m_nTimerLoopDelay, 60000, nullptr},
      {u"Init.Loop", u"TimerWM_TIMER", &m_settings.loop.m_nTimerLoopInterval, 90, nullptr},
      {u"Init.Monitor", u"LogToFile", &m_settings.monitor.m_bLogToFile, 0, nullptr},
      {u"Init.Monitor", u"LogFile", &m_settings.monitor.m_strLogFile, 0, u"\\ZEFMON.LOG"},
      {u"Init.Monitor", u"IndentChars", &m_settings.monitor.m_strIndentChars, 0, u"  "},
      {u"Init.Monitor", u"QDraw", &m_settings.monitor.m_bQuickDraw, 1, nullptr},
      {u"Init.Monitor", u"ShowTimeAndSender", &m_settings.monitor.m_bShowTimeAndSender, 0, nullptr},
      {u"Init.Monitor", u"TimeSincePrevious", &m_settings.monitor.m_bTimeSincePrevious, 0, nullptr},
      {u"Init.Database", u"MaxLineLength", &m_settings.database.m_nMaxLineLength, 179, nullptr},
      {u"Init.Database", u"ConfirmTwice", &m_settings.database.m_bConfirmTwice, 1, nullptr},
      {u"Init.LaF", u"ShowCancelBtn", &m_app.m_lookAndFeel.m_bShowCancelBtn, 1, nullptr},
      {u"Init.LaF", u"NoFullScreenDlg", &m_app.m_lookAndFeel.m_bNoFullScreenDlg, 1, nullptr},
  };

  CProfile& profile = m_app.GetProfile();
  for (const Row& row : rows) {
    const QString section = QString::fromUtf16(row.section);
    const QString entry = QString::fromUtf16(row.entry);
    if (bool* const* flag = std::get_if<bool*>(&row.field)) {
      if (load)
        **flag = profile.GetProfileInt(section, entry, row.intDefault) != 0;
      else
        profile.WriteProfileInt(section, entry, **flag ? 1 : 0);
    } else if (int* const* number = std::get_if<int*>(&row.field)) {
      if (load)
        **number = profile.GetProfileInt(section, entry, row.intDefault);
      else
        profile.WriteProfileInt(section, entry, **number);
    } else {
      QString& text = *std::get<QString*>(row.field);
      if (load)
        text = profile.GetProfileString(section, entry, QString::fromUtf16(row.textDefault));
      else
        profile.WriteProfileString(section, entry, text);
    }
  }
  return load || profile.Flush(reason);
}

}  // namespace zef
