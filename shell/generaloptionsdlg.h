// The General options dialog (template 137): the three confirmations and
// the fitting of the main window to the input method.
#pragma once

#include "monitor/settings.h"
#include "platform/dialog/dialog.h"

namespace zef {

class CGeneralOptionsDlg : public CSettingsDlg {
  Q_OBJECT

 public:
  explicit CGeneralOptionsDlg(const CLookAndFeel& lookAndFeel, QWidget* parent = nullptr);

  int m_bAskBeforeClose = 0;
  int m_bAskBeforeReset = 0;
  int m_bAskBeforeClear = 0;
  int m_bAdjustWindow = 0;

 protected:
  void DoDataExchange(CDataExchange& dx) override;
};

// Runs the dialog on `options`; on OK writes the confirmed values back and
// returns true, otherwise leaves `options` as it was.
bool RunGeneralOptions(QWidget* parent, const CLookAndFeel& lookAndFeel, CGeneralOptions& options);

}  // namespace zef
