#include "shell/aboutdlg.h"

namespace zef {

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(DialogTemplateId::About, parent) {}

bool CAboutDlg::OnInitDialog() {
  PrepareDialog(*this, true);
  CDialog::OnInitDialog();
  CenterWindow();
  return true;
}

void RunAbout(QWidget* parent) {
  CAboutDlg dlg(parent);
  dlg.DoModal();
}

}  // namespace zef
