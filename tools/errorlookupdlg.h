// Error Lookup (template 132): the system's text for an error code typed in
// decimal, hexadecimal ("0x") or octal ("0"); "exit" closes it.
#pragma once

#include "tools/tooldlg.h"

class QLabel;
class QLineEdit;

namespace zef {

class CErrorLookupDlg : public CToolDlg {
  Q_OBJECT

 public:
  explicit CErrorLookupDlg(QWidget* parent = nullptr);

  // Looks up the code in the edit and shows the answer; "exit" ends the
  // dialog with IDOK instead.
  void LookupError();

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  // Enter and the caption's "ok" look up; the dialog stays open.
  void OnOK() override;

  QLineEdit* m_pCodeEdit = nullptr;
  QLabel* m_pAnswer = nullptr;
};

// Runs the error lookup modally over `parent`.
void RunErrorLookup(QWidget* parent);

}  // namespace zef
