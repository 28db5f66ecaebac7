// The Calculator (template 134): converts one 32-bit integer from decimal
// to hexadecimal, binary or octal, or back. The ">>" button opens the modes
// (menu 135); the caption names the current one.
#pragma once

#include "tools/menubutton.h"
#include "tools/tooldlg.h"

#include <QString>

namespace zef {

class CCalcDlg : public CToolDlg {
  Q_OBJECT

 public:
  explicit CCalcDlg(QWidget* parent = nullptr);

  // The modes, in the order of menu 135.
  static constexpr int kModeCount = 6;

  // Takes mode `mode` (0 to 5): radixes and caption ("Calculator Dec->Hex").
  // Converts nothing.
  void SetMode(int mode);
  int GetMode() const { return m_nMode; }
  // Reads the value edit and writes its conversion into the result edit; an
  // invalid or out-of-range value is reported in a message box and changes
  // nothing.
  void Convert();

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  // Opens in mode 0 with the value "0" converted, and the input panel up.
  bool OnInitDialog() override;
  // Enter and the caption's "ok" convert; the dialog stays open.
  void OnOK() override;
  // The mode commands of the ">>" popup.
  bool OnCommand(int id) override;

  CMenuButton m_menuButton;
  QString m_strValue;
  QString m_strResult;
  int m_nMode = 0;
  int m_nSourceRadix = 10;
  int m_nTargetRadix = 16;
};

// Runs the calculator modally over `parent`.
void RunCalculator(QWidget* parent);

}  // namespace zef
