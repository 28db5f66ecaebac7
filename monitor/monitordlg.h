// The Monitor settings dialog (template 131): logging to a file, the log
// file's path, the indent string, quick draw, how many MB of lines the list
// keeps, and the log's rotation (size of a file, old files kept).
#pragma once

#include "monitor/monitorsettings.h"
#include "platform/dialog/settingsdialog.h"

class QLineEdit;

namespace zef {

void ExchangeControls(CDataExchange& dx, CMonitorSettings& settings);

class CMonitorDlg : public CSectionDlg<CMonitorSettings, DialogTemplateId::Monitor> {
  Q_OBJECT

 public:
  using CSectionDlg::CSectionDlg;

  QLineEdit* m_pLogFileEdit = nullptr;  // enabled while logging is on, once the box was clicked

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnCommand(int id) override;

 private:
  void OnLogToFile();
};

}  // namespace zef
