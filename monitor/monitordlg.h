// The Monitor settings dialog (template 131): logging to a file, the log
// file's path, the indent string and quick draw.
#pragma once

#include "monitor/settings.h"
#include "platform/dialog/dialog.h"

#include <QString>

class QLineEdit;

namespace zef {

class CMonitorDlg : public CSettingsDlg {
  Q_OBJECT

 public:
  explicit CMonitorDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  int m_bLogToFile = 0;
  QString m_strLogFile;
  int m_bQuickDraw = 0;
  QString m_strIndentChars;
  QLineEdit* m_pLogFileEdit = nullptr;  // enabled while logging is on, once the box was clicked

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnCommand(int id) override;

 private:
  void OnLogToFile();
};

// Runs the dialog on `settings`; on OK writes the confirmed values back and
// returns true, otherwise leaves `settings` as it was.
bool RunMonitorSettings(QWidget* parent, const CLookAndFeel& lookAndFeel, CMonitorSettings& settings);

}  // namespace zef
