// The application object: the settings profile, the two Look & Feel flags,
// start-up, and the commands it handles itself (About, Look & Feel).
#pragma once

#include "platform/dialog/dialog.h"
#include "platform/system/profile.h"
#include "res/resource.h"
#include "sources/sourcesettings.h"

#include <memory>
#include <vector>

namespace zef {

class CMainFrame;
class CWindowServer;

class CQrbWinApp {
 public:
  // The profile is the application's registry key; the program passes
  // CProfile("Quorbel", "ZEFMON"), tests a file of their own.
  explicit CQrbWinApp(std::unique_ptr<CProfile> profile);
  ~CQrbWinApp();
  CQrbWinApp(const CQrbWinApp&) = delete;
  CQrbWinApp& operator=(const CQrbWinApp&) = delete;

  // Creates, loads and shows the main window. False when the window could
  // not be created; `errorText` then says why.
  bool InitInstance(QString* errorText);

  // Opens the saved sources (Init.Sources) and `commandLine`'s, which run
  // for this session only (zefmon --follow FILE: a file from its end under
  // the sender "file:FILE"; --kernel: the kernel's log from its oldest
  // record; --journal and --journal-dir: the journal's entries from where
  // --journal-from says). What goes wrong with one is a line of the monitor and stops no
  // other. After InitInstance.
  void StartSources(const std::vector<SSource>& commandLine);

  CProfile& GetProfile() { return *m_pProfile; }
  CMainFrame* GetMainWnd() { return m_pMainWnd.get(); }

  // The application's own command table; false when `id` is not in it.
  bool OnCmdMsg(CommandId id);
  bool HasCommand(CommandId id) const;

  // Closes the monitor as its Exit command does, but without asking: the
  // settings are saved, the socket file goes with the server. What is open
  // over the main window (menus, message boxes, dialogs) is dismissed first
  // as Cancel or No would, so that its nested loop returns and nothing it
  // asked is done. For SIGTERM, SIGINT and SIGHUP.
  void EndWithoutAsking();
  // True from EndWithoutAsking on: the close asks nothing and shows no box.
  bool IsEndingWithoutAsking() const { return m_bEndingWithoutAsking; }

  // How dialogs present themselves, from the two flags below.
  CLookAndFeel LookAndFeel() const;

  // Section "Init.LaF", loaded and saved by the main frame's ExchangeSettings.
  CLookAndFeel m_lookAndFeel{false, false};

  // Command handlers of the application's table.
  void OnAppAbout();
  void OnLookAndFeel();

 private:
  bool m_bEndingWithoutAsking = false;
  std::unique_ptr<CProfile> m_pProfile;
  std::unique_ptr<CMainFrame> m_pMainWnd;
  // Serves the main window's tree to trace clients of other processes.
  std::unique_ptr<CWindowServer> m_pServer;
};

}  // namespace zef
