#include "tools/errorlookupdlg.h"

#include "platform/dialog/msgbox.h"
#include "platform/system/errors.h"
#include "res/stringtable.h"
#include "tools/numbers.h"

#include <QLabel>
#include <QLineEdit>

namespace zef {

CErrorLookupDlg::CErrorLookupDlg(QWidget* parent) : CToolDlg(DialogTemplateId::ErrorLookup, parent) {}

void CErrorLookupDlg::DoDataExchange(CDataExchange& dx) {
  DDX_Control(dx, IDC_ERR_CODE, m_pCodeEdit);
  DDX_Control(dx, IDC_ERR_TEXT, m_pAnswer);
}

bool CErrorLookupDlg::OnInitDialog() {
  CToolDlg::OnInitDialog();
  ShowInputPanel(true);
  return true;
}

void CErrorLookupDlg::OnOK() { LookupError(); }

void CErrorLookupDlg::LookupError() {
  if (m_pCodeEdit == nullptr || m_pAnswer == nullptr) return;
  const QString text = m_pCodeEdit->text().trimmed();
  // Exactly "exit": any other spelling is looked up as a number.
  if (text == QStringLiteral("exit")) {
    CToolDlg::OnOK();
    return;
  }

  const int radix = text.startsWith(QStringLiteral("0x")) || text.startsWith(QStringLiteral("0X")) ? 16
                    : text.startsWith(u'0')                                                        ? 8
                                                                                                   : 10;
  const CParsedNumber parsed = ParseNumber(text, radix);
  // Invalid characters are reported, and the part before them is looked up.
  if (parsed.m_nStop < text.size())
    MessageBoxFromTable(this, ToUInt(StringId::InvalidNumber), MB_OK, text, text.mid(parsed.m_nStop));
  if (!parsed.m_bInRange) {
    MessageBoxFromTable(this, ToUInt(StringId::NumberOutOfRange), MB_OK, text.left(parsed.m_nStop));
    m_pAnswer->clear();
    return;
  }

  QString message;
  if (FormatMessage(Bits32(parsed.m_nValue), &message) > 0) {
    m_pAnswer->setText(message);
    return;
  }
  const auto lastError = static_cast<std::int32_t>(GetLastError());
  // The code as the number typed, in decimal: 0x10 is named 16.
  m_pAnswer->setText(FormatString(LoadString(ToUInt(StringId::NoSystemMessage)), QString::number(parsed.m_nValue),
                                  QString::number(lastError)));
}

void RunErrorLookup(QWidget* parent) {
  CErrorLookupDlg dlg(parent);
  dlg.DoModal();
}

}  // namespace zef
