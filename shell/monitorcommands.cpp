// The "&Monitor" commands that work on the lines already in the list, and
// the two reads of the selection that other commands use.
#include "monitor/linecommands.h"
#include "shell/mainframe.h"
#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"

namespace zef {

QString CMainFrame::GetSelectedLine() {
  CMonitorList& list = GetList();
  if (list.GetSelCount() != 1) return QString();
  const std::vector<int> selected = list.GetSelItems(1);
  return selected.empty() ? QString() : list.GetText(selected.front());
}

QString CMainFrame::GetSelectedName() { return QuotedNameOf(GetSelectedLine()); }

bool CMainFrame::CanViewLine() { return GetList().GetCurSel() >= 0 && GetList().GetCount() >= 1; }

bool CMainFrame::CanMarkBlock() {
  const int current = GetList().GetCurSel();
  return current >= 0 && (GetList().LineContains(current, u'{') || GetList().LineContains(current, u'}'));
}

bool CMainFrame::CanUnmarkLines() { return GetList().GetSelCount() >= 1; }

bool CMainFrame::CanClear() { return GetList().GetCount() >= 1; }

bool CMainFrame::CanFind() { return !m_pFindDialog && GetList().GetCount() >= 1; }

void CMainFrame::OnViewLine() { MessageBox(this, GetSelectedLine(), MB_OK); }

void CMainFrame::OnMarkBlock() {
  CMonitorList& list = GetList();
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
  const int first = std::min(current, last);
  const int end = std::max(current, last);
  for (int line = first; line <= end; ++line) list.SetSel(true, line);
}

void CMainFrame::OnUnmarkLines() { GetList().SetSel(false, -1); }

void CMainFrame::OnClear() {
  if (m_bAskBeforeClearContent &&
      MessageBoxFromTable(this, ToUInt(StringId::ReallyClearContent), MB_YESNO | MB_ICONQUESTION) == IDNO)
    return;
  GetList().ResetContent();
}

void CMainFrame::OnResetNestedCalls() {
  if (m_bAskBeforeResetNestedCalls &&
      MessageBoxFromTable(this, ToUInt(StringId::ReallyResetNestedCalls), MB_YESNO | MB_ICONQUESTION) == IDNO)
    return;
  GetList().ResetNesting();
}

void CMainFrame::OnFind() {
  if (m_pFindDialog) return;
  m_pFindDialog = new CFindReplaceDialog(QString(), FR_DOWN | FR_HIDEWHOLEWORD, this);
  connect(m_pFindDialog, &CFindReplaceDialog::findReplace, this,
          [this](const FINDREPLACE& record) { OnFindReplace(&record); });
  SipShowIM(SIPF_ON);
}

void CMainFrame::OnFindReplace(const FINDREPLACE* record) {
  if (!m_pFindDialog || !record) return;
  if (record->Flags & FR_DIALOGTERM) {
    m_pFindDialog->deleteLater();
    m_pFindDialog = nullptr;
    SipShowIM(SIPF_OFF);
    return;
  }
  if (!(record->Flags & FR_FINDNEXT)) return;

  CMonitorList& list = GetList();
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
