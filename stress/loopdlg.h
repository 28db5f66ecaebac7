// The Loop Settings dialog (template 130): the five settings of the two
// stress loops.
#pragma once

#include "platform/dialog/dialog.h"
#include "stress/settings.h"

namespace zef {

class CLoopDlg : public CSettingsDlg {
  Q_OBJECT

 public:
  explicit CLoopDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  int m_nLoopCount = 0;
  int m_nLoopDelay = 0;
  int m_nTimerLoopCount = 0;
  int m_nTimerLoopDelay = 0;
  int m_nTimerLoopInterval = 0;

 protected:
  // Any 32-bit integer is taken, zero and negative ones included; text that
  // is not one keeps the dialog open at that edit.
  void DoDataExchange(CDataExchange& dx) override;
};

// Runs the dialog on `settings`; on OK writes the five values back and
// returns true, otherwise leaves `settings` as it was.
bool RunLoopSettings(QWidget* parent, const CLookAndFeel& lookAndFeel, CLoopSettings& settings);

}  // namespace zef
