// The "&Monitor" line commands.
#include "monitor/monitorcommands.h"

#include "monitor/linecommands.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "platform/dialog/sip.h"
#include "res/stringtable.h"

namespace zef {

CMonitorCommands::CMonitorCommands(IMonitorHost& host, const CLineConfirmations& confirmations,
                                   CMonitorSettings& monitor)
    : m_host(host), m_confirmations(confirmations), m_monitor(monitor) {}

CMonitorCommands::~CMonitorCommands() { delete m_pFindDialog.data(); }

void CMonitorCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CMonitorCommands;
  table.push_back(MakeCommand(CommandId::ViewLine, this, &C::OnViewLine, &C::CanViewLine));
  table.push_back(MakeCommand(CommandId::MarkBlock, this, &C::OnMarkBlock, &C::CanMarkBlock));
  table.push_back(MakeCommand(CommandId::UnmarkLines, this, &C::OnUnmarkLines, &C::CanUnmarkLines));
  table.push_back(MakeCommand(CommandId::Clear, this, &C::OnClear, &C::CanClear));
  table.push_back(MakeCommand(CommandId::Find, this, &C::OnFind, &C::CanFind));
  table.push_back(MakeCommand(CommandId::ResetNestedCalls, this, &C::OnResetNestedCalls));
  table.push_back(MakeCommand(CommandId::GoToMatchingLine, this, &C::OnGoToMatchingLine, &C::CanMarkBlock));
  CCommandEntry show = MakeCommand(CommandId::ShowTimeAndSender, this, &C::OnShowTimeAndSender);
  show.checked = [this] { return m_monitor.m_bShowTimeAndSender; };
  table.push_back(std::move(show));
  CCommandEntry since =
      MakeCommand(CommandId::TimeSincePrevious, this, &C::OnTimeSincePrevious, &C::CanTimeSincePrevious);
  since.checked = [this] { return m_monitor.m_bTimeSincePrevious; };
  table.push_back(std::move(since));
  CCommandEntry follow = MakeCommand(CommandId::Follow, this, &C::OnFollow);
  follow.checked = [this] { return m_monitor.m_bFollow; };
  table.push_back(std::move(follow));
}

int MatchingLine(const CMonitorList& list, int current, bool* isPairLine) {
  if (isPairLine) *isPairLine = false;
  const int count = list.GetCount();
  if (current < 0 || current >= count) return -1;
  if (list.LineContains(current, u'{')) {
    if (isPairLine) *isPairLine = true;
    const QString key = LeaveKeyOfEnterLine(list.GetText(current));
    return current + 1 < count ? list.FindContaining(current + 1, +1, key, Qt::CaseSensitive) : -1;
  }
  if (list.LineContains(current, u'}')) {
    if (isPairLine) *isPairLine = true;
    const QString key = EnterKeyOfLeaveLine(list.GetText(current));
    return current > 0 ? list.FindContaining(current - 1, -1, key, Qt::CaseSensitive) : -1;
  }
  return -1;
}

void ApplyGutter(CMonitorList& list, const CMonitorSettings& monitor) {
  using G = CMonitorList::EGutter;
  list.SetGutter(!monitor.m_bShowTimeAndSender  ? G::kOff
                 : monitor.m_bTimeSincePrevious ? G::kSincePrevious
                                                : G::kClockTime);
}

void ApplyFollow(CMonitorList& list, const CMonitorSettings& monitor) {
  if (monitor.m_bFollow) list.Follower().Start();
  else list.Follower().Stop();
}

void ApplyHistoryLimit(CMonitorList& list, const CMonitorSettings& monitor) {
  list.SetMemoryLimit(std::size_t(monitor.m_nHistoryLimitMB) << 20);
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
  bool isPairLine = false;
  const int match = MatchingLine(list, current, &isPairLine);
  if (!isPairLine) return;
  // Without a match the selection runs to the end of the list in the
  // direction of the search.
  const bool enter = list.LineContains(current, u'{');
  const int last = match >= 0 ? match : enter ? list.GetCount() - 1 : 0;
  list.SelItemRange(true, std::min(current, last), std::max(current, last));
}

void CMonitorCommands::OnGoToMatchingLine() {
  CMonitorList& list = m_host.GetList();
  const int match = MatchingLine(list, list.GetCurSel());
  // The caret moves and the line comes into view; the selection stays as
  // it is. Without a match nothing moves.
  if (match >= 0) list.SetCaretIndex(match);
}

void CMonitorCommands::OnShowTimeAndSender() {
  m_monitor.m_bShowTimeAndSender = !m_monitor.m_bShowTimeAndSender;
  ApplyGutter(m_host.GetList(), m_monitor);
}

bool CMonitorCommands::CanTimeSincePrevious() { return m_monitor.m_bShowTimeAndSender; }

void CMonitorCommands::OnTimeSincePrevious() {
  m_monitor.m_bTimeSincePrevious = !m_monitor.m_bTimeSincePrevious;
  ApplyGutter(m_host.GetList(), m_monitor);
}

void CMonitorCommands::OnFollow() {
  m_monitor.m_bFollow = !m_monitor.m_bFollow;
  ApplyFollow(m_host.GetList(), m_monitor);
}

void CMonitorCommands::OnUnmarkLines() { m_host.GetList().SetSel(false, -1); }

void CMonitorCommands::OnClear() {
  if (m_confirmations.m_bAskBeforeClearContent &&
      MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyClearContent), MB_YESNO | MB_ICONQUESTION) == IDNO)
    return;
  m_host.GetList().ResetContent();
}

void CMonitorCommands::OnResetNestedCalls() {
  if (m_confirmations.m_bAskBeforeResetNestedCalls &&
      MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::ReallyResetNestedCalls), MB_YESNO | MB_ICONQUESTION) ==
          IDNO)
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
