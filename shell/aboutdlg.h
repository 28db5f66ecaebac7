// The About dialog (template 100): icon 128 and the program's name and
// version; always centred, closed through the caption's "ok".
#pragma once

#include "platform/dialog/dialog.h"

namespace zef {

class CAboutDlg : public CDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

 protected:
  bool OnInitDialog() override;
};

void RunAbout(QWidget* parent);

}  // namespace zef
