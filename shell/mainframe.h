// The main window: the monitor view as its whole client area, menu 128 as
// its menu bar, the settings it owns, and the routing of every command.
#pragma once

#include "platform/dialog/finddialog.h"
#include "monitor/monitorview.h"
#include "res/resource.h"
#include "platform/dialog/sip.h"
#include "platform/window/window.h"

#include <QMainWindow>
#include <QPointer>
#include <QTextBrowser>

class QMenu;

namespace zef {

class CQrbWinApp;

class CMainFrame : public QMainWindow, public CWindowObject {
  Q_OBJECT
 public:
  explicit CMainFrame(CQrbWinApp& app);
  ~CMainFrame() override;

  // Creates the window in order: the view (first child, with the list as its
  // first child), the menu bar, the settings load, the indent. False when a
  // step fails.
  bool LoadFrame();

  // The one way into the monitor: log file (when on), list, scroll (unless
  // quick draw is on).
  void AppendLine(const QString& line);
  // Scrolls the list to its last line whatever quick draw says.
  void ScrollToEnd();

  // Reads all seventeen settings (load) or writes them all.
  void ExchangeSettings(bool load);

  // Offers command `id` to the view, then the frame's table, then the
  // application's. False when nobody handles it.
  bool OnCmdMsg(CommandId id);
  // Whether the command's item is enabled when its popup opens. Commands
  // that nothing handles yet are greyed.
  bool IsCommandEnabled(CommandId id);

  // Resizes the window to the part of the screen the input panel leaves.
  void FitWindowToSip();
  // WM_SETTINGCHANGE: fits the window when m_bAdjustWndSip is set.
  void OnSettingChange();

  LRESULT WindowProc(std::uint32_t message, WPARAM wParam, std::u16string_view text,
                     std::u16string* textOut) override;

  // The text of the one selected line; empty unless exactly one is selected.
  QString GetSelectedLine();
  // The name quoted at the start of the selected line.
  QString GetSelectedName();

  // Notifications of the find dialog.
  void OnFindReplace(const FINDREPLACE* record);
  CFindReplaceDialog* FindDialog() const { return m_pFindDialog; }

  CMonitorView& GetView() { return m_wndView; }
  CMonitorList& GetList() { return m_wndView.GetList(); }
  QTextBrowser* HelpWindow() const { return m_pHelp; }

  // Settings (see ExchangeSettings for their keys and defaults).
  int m_nTimerLoopCounter = -1;
  int m_nLoopCount = 100;
  int m_nLoopDelay = 500;
  int m_nTimerLoopCount = 100;
  int m_nTimerLoopDelay = 200;
  int m_nTimerLoopInterval = 500;
  bool m_bLogToFile = false;
  QString m_strLogFile = QStringLiteral("\\ZEFMON.LOG");
  bool m_bQuickDraw = true;
  QString m_strIndentChars = QStringLiteral("  ");
  int m_nMaxLineLength = 179;
  bool m_bConfirmTwice = true;
  bool m_bAskBeforeClose = true;
  bool m_bAskBeforeResetNestedCalls = true;
  bool m_bAskBeforeClearContent = true;
  bool m_bAdjustWndSip = false;

 signals:
  // The close went ahead: settings are saved and the program ends.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void OnWindowTextChanged() override;

 private:
  struct CommandEntry;
  static const CommandEntry* FindCommand(CommandId id);

  void BuildMenuBar();
  void OnInitMenuPopup(QMenu* popup);

  void OnEntryFromBuffer();
  void OnViewLine();
  void OnMarkBlock();
  void OnUnmarkLines();
  void OnClear();
  void OnFind();
  void OnOptions();
  void OnSetupMonitor();
  void OnSetupDatabase();
  void OnResetNestedCalls();
  bool CanViewLine();
  bool CanMarkBlock();
  bool CanUnmarkLines();
  bool CanClear();
  bool CanFind();
  void OnAppExit();
  void OnHelpContents();

  CQrbWinApp& m_app;
  CMonitorView m_wndView;
  CSettingChangeSource m_settingChange;
  QPointer<QTextBrowser> m_pHelp;
  QPointer<CFindReplaceDialog> m_pFindDialog;
};

}  // namespace zef
