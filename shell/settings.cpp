// The settings record: seventeen values in five sections of the profile.
#include "app.h"
#include "mainframe.h"

namespace zef {
namespace {

// One row of the record. Rows are read and written in this order.
struct SettingRow {
  const char16_t* section;
  const char16_t* entry;
  enum class Type { Bool, Int, String } type;
  int intDefault;               // when absent, for Bool and Int rows
  const char16_t* textDefault;  // when absent, for String rows
};

// Note: the defaults when absent are not all the construction values (Delay
// 20 against 500, DelayWM_TIMER 60000 against 200, TimerWM_TIMER 90 against
// 500, the Look & Feel flags 1 against 0); a fresh installation runs with
// these.
constexpr SettingRow kRows[] = {
    {u"Init.General", u"AskBeforeCloseZEFMON", SettingRow::Type::Bool, 1, nullptr},
    {u"Init.General", u"AskBeforeResetNestedCalls", SettingRow::Type::Bool, 1, nullptr},
    {u"Init.General", u"AskBeforeClearContent", SettingRow::Type::Bool, 1, nullptr},
    {u"Init.General", u"AdjustWndSip", SettingRow::Type::Bool, 0, nullptr},
    {u"Init.Loop", u"Count", SettingRow::Type::Int, 100, nullptr},
    {u"Init.Loop", u"Delay", SettingRow::Type::Int, 20, nullptr},
    {u"Init.Loop", u"CountWM_TIMER", SettingRow::Type::Int, 100, nullptr},
    {u"Init.Loop", u"DelayWM_TIMER", SettingRow::Type::Int, 60000, nullptr},
    {u"Init.Loop", u"TimerWM_TIMER", SettingRow::Type::Int, 90, nullptr},
    {u"Init.Monitor", u"LogToFile", SettingRow::Type::Bool, 0, nullptr},
    {u"Init.Monitor", u"LogFile", SettingRow::Type::String, 0, u"\\ZEFMON.LOG"},
    {u"Init.Monitor", u"IndentChars", SettingRow::Type::String, 0, u"  "},
    {u"Init.Monitor", u"QDraw", SettingRow::Type::Bool, 1, nullptr},
    {u"Init.Database", u"MaxLineLength", SettingRow::Type::Int, 179, nullptr},
    {u"Init.Database", u"ConfirmTwice", SettingRow::Type::Bool, 1, nullptr},
    {u"Init.LaF", u"ShowCancelBtn", SettingRow::Type::Bool, 1, nullptr},
    {u"Init.LaF", u"NoFullScreenDlg", SettingRow::Type::Bool, 1, nullptr},
};

}  // namespace

void CMainFrame::ExchangeSettings(bool load) {
  // The fields, row by row in the order of kRows.
  bool* const bools[] = {&m_bAskBeforeClose, &m_bAskBeforeResetNestedCalls, &m_bAskBeforeClearContent,
                         &m_bAdjustWndSip,    &m_bLogToFile,                 &m_bQuickDraw,
                         &m_bConfirmTwice,    &m_app.m_bShowCancelBtn,      &m_app.m_bNoFullScreenDlg};
  int* const ints[] = {&m_nLoopCount, &m_nLoopDelay, &m_nTimerLoopCount, &m_nTimerLoopDelay, &m_nTimerLoopInterval,
                       &m_nMaxLineLength};
  QString* const strings[] = {&m_strLogFile, &m_strIndentChars};
  int nextBool = 0;
  int nextInt = 0;
  int nextString = 0;

  CProfile& profile = m_app.GetProfile();
  for (const SettingRow& row : kRows) {
    const QString section = QString::fromUtf16(row.section);
    const QString entry = QString::fromUtf16(row.entry);
    switch (row.type) {
      case SettingRow::Type::Bool: {
        bool& field = *bools[nextBool++];
        if (load)
          field = profile.GetProfileInt(section, entry, row.intDefault) != 0;
        else
          profile.WriteProfileInt(section, entry, field ? 1 : 0);
        break;
      }
      case SettingRow::Type::Int: {
        int& field = *ints[nextInt++];
        if (load)
          field = profile.GetProfileInt(section, entry, row.intDefault);
        else
          profile.WriteProfileInt(section, entry, field);
        break;
      }
      case SettingRow::Type::String: {
        QString& field = *strings[nextString++];
        if (load)
          field = profile.GetProfileString(section, entry, QString::fromUtf16(row.textDefault));
        else
          profile.WriteProfileString(section, entry, field);
        break;
      }
    }
  }
  if (!load) profile.Flush();
}

}  // namespace zef
