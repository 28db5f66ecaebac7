#include "shell/lookandfeeldlg.h"

#include <QCheckBox>
#include <QPushButton>

namespace zef {

CLookAndFeelDlg::CLookAndFeelDlg(QWidget* parent) : CDialog(DialogTemplateId::LookAndFeel, parent) {}

void CLookAndFeelDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_LAF_NOFULLSCREEN, m_pNoFullScreenCheck);
  DDX_Control(dx, IDC_LAF_SHOWCANCEL, m_pShowCancelCheck);
  DDX_Control(dx, IDC_CANCEL, m_pCancelBtn);
  DDX_Check(dx, IDC_LAF_SHOWCANCEL, m_bShowCancel);
  DDX_Check(dx, IDC_LAF_NOFULLSCREEN, m_bNoFullScreen);
}

bool CLookAndFeelDlg::OnInitDialog() {
  PrepareDialog(*this, m_bNoFullScreen != 0);
  CDialog::OnInitDialog();
  if (m_pCancelBtn != nullptr) ShowOrHideCancelButton(*this, *m_pCancelBtn, m_bShowCancel != 0);
  return true;
}

bool RunLookAndFeel(QWidget* parent, CLookAndFeel& flags) {
  CLookAndFeelDlg dlg(parent);
  dlg.m_bNoFullScreen = flags.m_bNoFullScreenDlg ? 1 : 0;
  dlg.m_bShowCancel = flags.m_bShowCancelBtn ? 1 : 0;
  if (dlg.DoModal() != IDOK) return false;
  flags.m_bNoFullScreenDlg = dlg.m_bNoFullScreen != 0;
  flags.m_bShowCancelBtn = dlg.m_bShowCancel != 0;
  return true;
}

}  // namespace zef
