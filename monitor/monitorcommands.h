// The "&Monitor" commands that work on the lines already in the list: view,
// mark block, unmark, clear, find and reset nesting.
#pragma once

#include "monitor/monitorhost.h"
#include "monitor/settings.h"
#include "platform/dialog/finddialog.h"

#include <QPointer>

namespace zef {

class CMonitorCommands : public CFeature {
 public:
  // `general` holds the confirmations of Clear and Reset nested calls.
  CMonitorCommands(IMonitorHost& host, const CGeneralOptions& general);
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
  bool CanViewLine();
  bool CanMarkBlock();
  bool CanUnmarkLines();
  bool CanClear();
  bool CanFind();

  IMonitorHost& m_host;
  const CGeneralOptions& m_general;
  QPointer<CFindReplaceDialog> m_pFindDialog;
};

}  // namespace zef
