#include "shell/lookandfeeldlg.h"

namespace zef {

void ExchangeControls(CDataExchange& dx, CLookAndFeel& flags) {
  DDX_Check(dx, IDC_LAF_SHOWCANCEL, flags.m_bShowCancelBtn);
  DDX_Check(dx, IDC_LAF_NOFULLSCREEN, flags.m_bNoFullScreenDlg);
}

CLookAndFeelDlg::CLookAndFeelDlg(QWidget* parent) : CSectionDlg(CLookAndFeel{}, parent) {}

bool CLookAndFeelDlg::OnInitDialog() {
  m_lookAndFeel = m_section;
  return CSectionDlg::OnInitDialog();
}

}  // namespace zef
