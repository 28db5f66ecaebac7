// The Look & Feel dialog (template 99): edits the two presentation flags,
// and presents itself by its own copies of them.
#pragma once

#include "platform/dialog/dialog.h"

class QCheckBox;
class QPushButton;

namespace zef {

class CLookAndFeelDlg : public CDialog {
  Q_OBJECT

 public:
  explicit CLookAndFeelDlg(QWidget* parent = nullptr);

  int m_bNoFullScreen = 0;
  int m_bShowCancel = 0;
  QCheckBox* m_pNoFullScreenCheck = nullptr;
  QCheckBox* m_pShowCancelCheck = nullptr;
  QPushButton* m_pCancelBtn = nullptr;

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
};

// Runs the dialog on `flags`; on OK writes the confirmed flags back and
// returns true, otherwise leaves them as they were.
bool RunLookAndFeel(QWidget* parent, CLookAndFeel& flags);

}  // namespace zef
