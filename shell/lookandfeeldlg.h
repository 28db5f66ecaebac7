// The Look & Feel dialog (template 99): edits the two presentation flags,
// and presents itself by its own copy of them.
#pragma once

#include "platform/dialog/settingsdialog.h"

namespace zef {

void ExchangeControls(CDataExchange& dx, CLookAndFeel& flags);

class CLookAndFeelDlg : public CSectionDlg<CLookAndFeel, DialogTemplateId::LookAndFeel> {
  Q_OBJECT

 public:
  explicit CLookAndFeelDlg(QWidget* parent = nullptr);

 protected:
  bool OnInitDialog() override;
};

}  // namespace zef
