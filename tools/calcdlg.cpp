#include "tools/calcdlg.h"

#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"
#include "tools/numbers.h"

#include <array>

namespace zef {
namespace {

struct CMode {
  CommandId command;
  const char16_t* name;  // for the caption: "->", where the menu item says " --> "
  int sourceRadix;
  int targetRadix;
};

constexpr std::array<CMode, CCalcDlg::kModeCount> kModes{{
    {CommandId::CalcDecToHex, u"Dec->Hex", 10, 16},
    {CommandId::CalcDecToBin, u"Dec->Bin", 10, 2},
    {CommandId::CalcDecToOct, u"Dec->Oct", 10, 8},
    {CommandId::CalcHexToDec, u"Hex->Dec", 16, 10},
    {CommandId::CalcBinToDec, u"Bin->Dec", 2, 10},
    {CommandId::CalcOctToDec, u"Oct->Dec", 8, 10},
}};

}  // namespace

CCalcDlg::CCalcDlg(QWidget* parent) : CToolDlg(DialogTemplateId::Calculator, parent) {}

void CCalcDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_CALC_MENU, m_menuButton);
  DDX_Text(dx, IDC_CALC_VALUE, m_strValue);
  DDX_Text(dx, IDC_CALC_RESULT, m_strResult);
}

bool CCalcDlg::OnInitDialog() {
  CToolDlg::OnInitDialog();
  m_menuButton.LoadMenu(IDR_CALCMENU);
  SetMode(0);
  m_strValue = QStringLiteral("0");
  UpdateData(DataDirection::ToControls);
  Convert();
  ShowInputPanel(true);
  return true;
}

void CCalcDlg::SetMode(int mode) {
  if (mode < 0 || mode >= kModeCount) return;
  const CMode& entry = kModes[std::size_t(mode)];
  m_nMode = mode;
  m_nSourceRadix = entry.sourceRadix;
  m_nTargetRadix = entry.targetRadix;
  setWindowTitle(FormatString(LoadString(ToUInt(StringId::CalculatorCaption)), QString::fromUtf16(entry.name)));
}

void CCalcDlg::Convert() {
  UpdateData(DataDirection::FromControls);
  // The value as typed: not trimmed, so a blank after the digits is an
  // invalid character.
  const CParsedNumber parsed = ParseNumber(m_strValue, m_nSourceRadix);
  if (parsed.m_nStop < m_strValue.size()) {
    MessageBoxFromTable(this, ToUInt(StringId::InvalidNumber), MB_OK, m_strValue, m_strValue.mid(parsed.m_nStop));
    return;
  }
  if (!parsed.m_bInRange) {
    MessageBoxFromTable(this, ToUInt(StringId::NumberOutOfRange), MB_OK, m_strValue);
    return;
  }
  m_strResult = FormatNumber(parsed.m_nValue, m_nTargetRadix);
  UpdateData(DataDirection::ToControls);
}

void CCalcDlg::OnOK() { Convert(); }

bool CCalcDlg::OnCommand(int id) {
  for (int mode = 0; mode < kModeCount; ++mode) {
    if (id == int(ToUInt(kModes[std::size_t(mode)].command))) {
      SetMode(mode);
      return true;
    }
  }
  return CToolDlg::OnCommand(id);
}

void RunCalculator(QWidget* parent) {
  CCalcDlg dlg(parent);
  dlg.DoModal();
}

}  // namespace zef
