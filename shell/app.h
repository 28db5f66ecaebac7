// The application object: the settings profile, the two Look & Feel flags,
// start-up, and the commands it handles itself (About, Look & Feel).
#pragma once

#include "platform/dialog/dialog.h"
#include "platform/system/profile.h"
#include "res/resource.h"
#include "sources/journal.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace zef {

class CFileFollow;
class CKernelLog;
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

  // Follows each file of `paths` (zefmon --follow) from its end: its lines
  // enter the monitor under the sender "file:PATH", and so does what goes
  // wrong with it (missing, removed), which stops no other source. After
  // InitInstance.
  void FollowFiles(const QStringList& paths);
  // Shows the kernel's log (zefmon --kernel) from its oldest record on, each
  // line at the record's own time under the sender "kernel"; a refusal to
  // read it is one line of that sender. After InitInstance.
  void ReadKernelLog();
  // Reads the local journal (`directory` empty: zefmon --journal) or the
  // journal files in `directory` (--journal-dir) from `start` on, then
  // follows it: each entry whose fields satisfy `matches` is a line at its
  // own time under its unit or command and host; a journal that cannot be
  // read is one line, which stops no other source. After InitInstance.
  void ReadJournal(const QString& directory, const QStringList& matches, const CJournalSource::SStart& start);

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
  // After the main window: they go before the intake they feed.
  std::vector<std::unique_ptr<CFileFollow>> m_vFollowed;
  std::unique_ptr<CKernelLog> m_pKernelLog;
  std::vector<std::unique_ptr<CJournalSource>> m_vJournals;
  // The sender ids of every journal read, so that two never give one id to
  // two senders.
  std::shared_ptr<CJournalSenders> m_pJournalSenders;
};

}  // namespace zef
