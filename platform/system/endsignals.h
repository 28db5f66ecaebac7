// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP: `kill`,
// Ctrl+C in the terminal, the end of a login session), turned into a Qt
// signal on the thread that made the watcher, so that the program can close
// in order instead of dying where it stands.
//
// The handler itself only writes the signal's number into a pipe (a write
// is async-signal-safe, Qt is not); a QSocketNotifier on the pipe's other
// end emits EndRequested from the event loop, nested loops (a modal dialog)
// included. A second end signal is not queued: it ends the process at once
// by the signal's default action, for when the orderly end hangs. A signal
// the program was started with ignored (nohup) stays ignored.
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace zef {

class CEndSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers. One watcher in a process at a time: a second one
  // installs nothing and reports false from IsWatching.
  explicit CEndSignals(QObject* parent = nullptr);
  // Puts the previous actions back.
  ~CEndSignals() override;
  CEndSignals(const CEndSignals&) = delete;
  CEndSignals& operator=(const CEndSignals&) = delete;

  bool IsWatching() const { return m_bWatching; }

 signals:
  // The first end signal (SIGTERM, SIGINT or SIGHUP) came.
  void EndRequested(int signalNumber);

 private:
  void OnReadable();

  bool m_bWatching = false;
  int m_nReadFd = -1;
  int m_nWriteFd = -1;
  std::unique_ptr<QSocketNotifier> m_pNotifier;
};

}  // namespace zef
