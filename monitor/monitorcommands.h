// The "&Monitor" commands that work on the lines already in the list: view,
// mark block, unmark, clear, find, reset nesting, go to the matching line,
// the gutter of times and senders, and following new lines.
#pragma once

#include "monitor/monitorhost.h"
#include "monitor/monitorsettings.h"
#include "platform/dialog/finddialog.h"

#include <QPointer>

namespace zef {

class CMonitorCommands : public CFeature {
 public:
  // `confirmations` says whether Clear and Reset nested calls ask first,
  // `monitor` holds the gutter's switches, which the gutter commands set.
  CMonitorCommands(IMonitorHost& host, const CLineConfirmations& confirmations, CMonitorSettings& monitor);
  ~CMonitorCommands() override;

  void AddCommands(std::vector<CCommandEntry>& table) override;

  // Notifications of the find dialog.
  void OnFindReplace(const FINDREPLACE* record);
  CFindReplaceDialog* FindDialog() const { return m_pFindDialog; }

 private:
  void OnViewLine();
  void OnMarkBlock();
  void OnUnmarkLines();
  void OnClear();
  void OnFind();
  void OnResetNestedCalls();
  void OnGoToMatchingLine();
  void OnShowTimeAndSender();
  void OnTimeSincePrevious();
  void OnFollow();
  bool CanViewLine();
  bool CanMarkBlock();
  bool CanUnmarkLines();
  bool CanClear();
  bool CanFind();
  bool CanTimeSincePrevious();

  IMonitorHost& m_host;
  const CLineConfirmations& m_confirmations;
  CMonitorSettings& m_monitor;
  QPointer<CFindReplaceDialog> m_pFindDialog;
};

// The line that Mark Block pairs with line `current` of `list`: for an
// enter line its leave line below, for a leave line its enter line above
// (a line holding both braces counts as an enter line). -1 when there is
// none; *isPairLine says whether `current` is an enter or leave line at all.
int MatchingLine(const CMonitorList& list, int current, bool* isPairLine = nullptr);

// Shows the gutter as `monitor` says: off, clock times, or times since the
// previous line.
void ApplyGutter(CMonitorList& list, const CMonitorSettings& monitor);
// Starts or stops following new lines as `monitor` says.
void ApplyFollow(CMonitorList& list, const CMonitorSettings& monitor);
// The memory limit on the list's lines (HistoryLimitMB; 0: none).
void ApplyHistoryLimit(CMonitorList& list, const CMonitorSettings& monitor);

}  // namespace zef
