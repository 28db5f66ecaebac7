// The "&Monitor" line commands.
#include "monitor/monitorcommands.h"

#include "monitor/linecommands.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "platform/dialog/sip.h"
#include "res/stringtable.h"

namespace zef {

CMonitorCommands::CMonitorCommands(IMonitorHost& host, const CGeneralOptions& general)
    : m_host(host), m_general(general) {}

CMonitorCommands::~CMonitorCommands() { delete m_pFindDialog.data(); }

void CMonitorCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CMonitorCommands;
  table.push_back(MakeCommand(CommandId::ViewLine, this, &C::OnViewLine, &C::CanViewLine));
  table.push_back(MakeCommand(CommandId::MarkBlock, this, &C::OnMarkBlock, &C::CanMarkBlock));
  table.push_back(MakeCommand(CommandId::UnmarkLines, this, &C::OnUnmarkLines, &C::CanUnmarkLines));
  table.push_back(MakeCommand(CommandId::Clear, this, &C::OnClear, &C::CanClear));
  table.push_back(MakeCommand(CommandId::Find, this, &C::OnFind, &C::CanFind));
  table.push_back(MakeCommand(CommandId::ResetNestedCalls, this, &C::OnResetNestedCalls));
}

bool CMonitorCommands::CanViewLine() { return m_host.GetList().GetCurSel() >= 0 && m_host.GetList().GetCount() >= 1; }

bool CMonitorCommands::CanMarkBlock() {
  const CMonitorList& list = m_host.GetList();
  const int current = list.GetCurSel();
  return current >= 0 && (list.LineContains(current, u'{') || list.LineContains(current, u'}'));
}

bool CMonitorCommands::CanUnmarkLines() { return m_host.GetList().GetSelCount() >= 1; }

bool CMonitorCommands::CanClear() { return m_host.GetList().GetCount() >= 1; }

bool CMonitorCommands::CanFind() { return !m_pFindDialog && m_host.GetList().GetCount() >= 1; }

void CMonitorCommands::OnViewLine() { MessageBox(m_host.GetWindow(), m_host.GetSelectedLine(), MB_OK); }

void CMonitorCommands::OnMarkBlock() {
  CMonitorList& list = m_host.GetList();
  const int current = list.GetCurSel();
  const int count = list.GetCount();
  if (current < 0 || current >= count) return;

  // An enter line selects down to its leave line, a leave line up to its
  // enter line; without a match the selection runs to the end of the list.
  // A line holding both braces counts as an enter line.
  int last = current;
  if (list.LineContains(current, u'{')) {
    const QString key = LeaveKeyOfEnterLine(list.GetText(current));
    const int found = current + 1 < count ? list.FindContaining(current + 1, +1, key, Qt::CaseSensitive) : LB_ERR;
    last = found == LB_ERR ? count - 1 : found;
  } else if (list.LineContains(current, u'}')) {
    const QString key = EnterKeyOfLeaveLine(list.GetText(current));
    const int found = current > 0 ? list.FindContaining(current - 1, -1, key, Qt::CaseSensitive) : LB_ERR;
    last = found == LB_ERR ? 0 : found;
  } else {
    return;
  }
  list.SelItemRange(true, std::min(current, last), std::max(current, last));
}

void CMonitorCommands::OnUnmarkLines() { m_host.GetList().SetSel(false, -1); }

void CMonitorCommands::OnClear() {
  if (m_general.m_bAskBeforeClearContent &&
      MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyClearContent), MB_YESNO | MB_ICONQUESTION) == IDNO)
    return;
  m_host.GetList().ResetContent();
}

void CMonitorCommands::OnResetNestedCalls() {
  if (m_general.m_bAskBeforeResetNestedCalls &&
      MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyResetNestedCalls), MB_YESNO | MB_ICONQUESTION) == IDNO)
    return;
  m_host.GetList().ResetNesting();
}

void CMonitorCommands::OnFind() {
  if (m_pFindDialog) return;
  m_pFindDialog = new CFindReplaceDialog(QString(), FR_DOWN | FR_HIDEWHOLEWORD, m_host.GetWindow());
  QObject::connect(m_pFindDialog, &CFindReplaceDialog::findReplace, m_pFindDialog,
          [this](const FINDREPLACE& record) { OnFindReplace(&record); });
  SipShowIM(SIPF_ON);
}

void CMonitorCommands::OnFindReplace(const FINDREPLACE* record) {
  if (!m_pFindDialog || !record) return;
  if (record->Flags & FR_DIALOGTERM) {
    m_pFindDialog->deleteLater();
    m_pFindDialog = nullptr;
    SipShowIM(SIPF_OFF);
    return;
  }
  if (!(record->Flags & FR_FINDNEXT)) return;

  CMonitorList& list = m_host.GetList();
  const int current = list.GetCurSel();
  const int count = list.GetCount();
  const Qt::CaseSensitivity cs = (record->Flags & FR_MATCHCASE) ? Qt::CaseSensitive : Qt::CaseInsensitive;
  const int step = (record->Flags & FR_DOWN) ? +1 : -1;
  const int from = current + step;  // the search does not wrap around
  if (from < 0 || from >= count || record->findWhat.isEmpty()) return;
  const int found = list.FindContaining(from, step, record->findWhat, cs);
  if (found == LB_ERR) return;

  list.SetSel(false, -1);
  list.SetSel(true, found);
  list.SetTopIndex(found);
  // The found line becomes the current line, so the next search goes on
  // from it.
  list.SetCaretIndex(found);
}

}  // namespace zef
