#include "tools/tooldlg.h"

#include "platform/dialog/sip.h"

#include <QHideEvent>

namespace zef {

CToolDlg::CToolDlg(DialogTemplateId templateId, QWidget* parent) : CDialog(templateId, parent) {}

LRESULT CToolDlg::WindowProc(std::uint32_t message, WPARAM wParam, std::intptr_t lParam) {
  if (message == WM_COMMAND) {
    OnCommand(int(wParam & 0xFFFF));
    return 0;
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

bool CToolDlg::OnInitDialog() {
  PrepareDialog(*this, true);
  CDialog::OnInitDialog();
  return true;
}

void CToolDlg::ShowInputPanel(bool show) { SipShowIM(show ? SIPF_ON : SIPF_OFF); }

void CToolDlg::hideEvent(QHideEvent* event) {
  // A spontaneous hide is the window system's (minimising), not an end.
  if (!event->spontaneous()) ShowInputPanel(false);
  CDialog::hideEvent(event);
}

}  // namespace zef
