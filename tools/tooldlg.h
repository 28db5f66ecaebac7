// The common ground of the tool dialogs (Calculator, Error Lookup): always
// centred at their own size with the caption's "ok", their Close button in
// view; the input panel is raised when they open and lowered whichever way
// they end; commands (WM_COMMAND) sent to them are handled as their
// buttons' are.
#pragma once

#include "platform/dialog/dialog.h"

namespace zef {

class CToolDlg : public CDialog {
  Q_OBJECT

 public:
  LRESULT WindowProc(std::uint32_t message, WPARAM wParam, std::intptr_t lParam) override;

 protected:
  explicit CToolDlg(DialogTemplateId templateId, QWidget* parent = nullptr);

  // PrepareDialog (centred, whatever the Look & Feel says) and the
  // framework's initialisation. The dialog raises the input panel itself,
  // as the last step of its own initialisation.
  bool OnInitDialog() override;
  // Shows or hides the input panel.
  virtual void ShowInputPanel(bool show);

  // Every way a dialog ends (Close, Escape, "exit", the window's close)
  // hides it; that lowers the input panel.
  void hideEvent(QHideEvent* event) override;
};

}  // namespace zef
