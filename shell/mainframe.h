// The main window: the monitor view as its whole client area, menu 128 as
// its menu bar, the settings it owns, and the routing of every command.
#pragma once

#include "monitor/lineintake.h"
#include "monitor/monitorhost.h"
#include "monitor/monitorview.h"
#include "res/resource.h"
#include "platform/dialog/sip.h"
#include "platform/window/window.h"
#include "shell/settingsrecord.h"

#include <QMainWindow>

#include <map>
#include <memory>
#include <vector>

class QMenu;

namespace zef {

class CQrbWinApp;

class CMainFrame : public QMainWindow, public CWindowObject, public IMonitorHost {
  Q_OBJECT
 public:
  explicit CMainFrame(CQrbWinApp& app);
  ~CMainFrame() override;

  // Creates the window in order: the view (first child, with the list as its
  // first child), the menu bar, the settings load, the indent. False when a
  // step fails.
  bool LoadFrame();

  // A line of the monitor's own, through the intake as every line goes.
  void AppendLine(const QString& line) override;
  void AddSourceLine(const QString& line, std::uint32_t senderId, const QString& label, std::int64_t timeUs) override {
    m_intake.AddSourceLine(line, senderId, label, timeUs);
  }
  // Where every line enters the monitor, and where a trace connection's end
  // is told.
  CLineIntake& Intake() { return m_intake; }
  // Scrolls the list to its last line whatever quick draw says.
  void ScrollToEnd() override;

  // Reads all twenty settings from the profile (ToControls) or writes them
  // all to its file (FromControls). False when a save did not reach the
  // file; `reason` then says why.
  bool ExchangeSettings(DataDirection direction, QString* reason = nullptr);

  // Offers command `id` to the view, then the frame's table (its own rows
  // and every feature's), then the application's. A row whose update handler
  // says disabled is not run (still true). False when nobody handles it.
  bool OnCmdMsg(CommandId id);
  // Whether the command's item is enabled when its popup opens. Commands
  // that nothing handles yet are greyed.
  bool IsCommandEnabled(CommandId id);

  // Resizes the window to the part of the screen the input panel leaves.
  void FitWindowToSip();
  // WM_SETTINGCHANGE: fits the window when m_bAdjustWndSip is set.
  void OnSettingChange();

  LRESULT WindowProc(std::uint32_t message, WPARAM wParam, std::u16string_view text, std::u16string* textOut) override;

  QString GetSelectedLine() override;
  QString GetSelectedOwnText() override;
  QString GetSelectedName() override;
  // The process id of the selected process line, the handle of the selected
  // window line; 0 when the selection (exactly one line) names none.
  std::uint32_t GetSelectedProcessId();
  std::uint32_t GetSelectedWindowHandle();
  QWidget* GetWindow() override { return this; }
  CLookAndFeel LookAndFeel() const override;

  bool SetTimer(std::uint32_t id, int intervalMs, std::function<void()> onTick) override;
  void KillTimer(std::uint32_t id) override;
  // WM_TIMER: the tick of window timer `id`; nothing when that timer is not
  // set.
  void OnTimer(std::uint32_t id);

  // The list's own menu (menu 136), its items enabled and checked as their
  // rows say, as a right click on the list opens it.
  std::unique_ptr<QMenu> CreateListMenu();

  CMonitorView& GetView() { return m_wndView; }
  CMonitorList& GetList() override { return m_wndView.GetList(); }

  // The settings sections the frame holds (see ExchangeSettings for their
  // keys and defaults).
  CSettingsRecord& Settings() { return m_settings; }

  // The feature of type `Feature`, or null.
  template <class Feature>
  Feature* GetFeature() const {
    for (const auto& feature : m_features)
      if (auto* found = dynamic_cast<Feature*>(feature.get())) return found;
    return nullptr;
  }

 signals:
  // The close went ahead: settings are saved and the program ends.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void OnWindowTextChanged() override;

 private:
  // The index of the one selected line; -1 unless exactly one is selected
  // (the list's texts are empty for it).
  int SelectedLineIndex();
  const CCommandEntry* FindCommand(CommandId id) const;
  void BuildCommandTable();

  void BuildMenuBar();
  void OnInitMenuPopup(QMenu* popup);
  void EnableFirstPopupItems(const QList<QAction*>& items);

  void OnEntryFromBuffer();
  void OnAppExit();

  CQrbWinApp& m_app;
  CMonitorView m_wndView;
  CSettingChangeSource m_settingChange;
  CSettingsRecord m_settings;
  std::vector<std::unique_ptr<CFeature>> m_features;
  std::vector<CCommandEntry> m_commands;

  struct CWindowTimer {
    int m_nQtTimerId;
    std::function<void()> m_onTick;
  };
  std::map<std::uint32_t, CWindowTimer> m_timers;  // by window timer id
  CLineIntake m_intake{GetList(), m_settings.monitor};
};

}  // namespace zef
