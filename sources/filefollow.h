// Follows one file as `tail -F` does and hands its lines on, one by one.
//
// It starts at the file's end (or its beginning), and follows what is
// appended. It watches the file's directory with inotify, on the UI thread
// through a QSocketNotifier on the inotify descriptor, and looks again every
// kRecheckMs besides (a directory that is missing or on a file system
// inotify does not see). The file stays open between passes, so:
// - renamed away and a new file made under the name (rotation): the rest of
//   the old file is read first, then the new one from its beginning;
// - copied and truncated in place: read again from its beginning;
// - deleted: said once and closed (its disk space is freed); a file made
//   again under the name is read from its beginning.
// A pass reads at most kMaxPassBytes and leaves the rest to a pass queued
// behind the events waiting, so that a fast writer never freezes the
// window. Reads never block (O_NONBLOCK, a pipe or FIFO too).
//
// A file's content is untrusted. A line is the bytes up to '\n' (a '\r'
// before it dropped), decoded as UTF-8 with each malformed sequence made
// U+FFFD, as a trace client's text is; binary content so becomes lines like
// any other. A line longer than a trace client's frame holds (kMaxLineBytes) is
// cut there, the rest of it up to its newline skipped, and a notice says
// so. The last line is held until its newline comes (or the file is
// replaced, when it is handed on as it is).
#pragma once

#include <QObject>
#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace zef {

class CFileFollow : public QObject {
  Q_OBJECT
 public:
  // A line of the file, and a notice about following it (missing, removed,
  // truncated, a line cut); both from the UI thread, during a pass.
  using LineSink = std::function<void(const QString& text)>;

  static constexpr qint64 kMaxPassBytes = 1 << 20;
  static constexpr qint64 kMaxLineBytes = 512 * 1024;
  static constexpr int kRecheckMs = 500;

  // Follows `path` (as given: relative to the working directory). Nothing is
  // read before Start().
  CFileFollow(const QString& path, LineSink onLine, LineSink onNotice, QObject* parent = nullptr);
  ~CFileFollow() override;
  CFileFollow(const CFileFollow&) = delete;
  CFileFollow& operator=(const CFileFollow&) = delete;

  // Opens the file (a missing one is said and waited for) and starts
  // watching. `fromStart`: its present content too, else only what is
  // appended from now on.
  void Start(bool fromStart);
  // One pass now: what it reads and whether the file was replaced. Tests
  // call it to step without waiting for an event.
  void Pass();

  const QString& Path() const { return m_strPath; }
  // "file:PATH", the sender's label in the gutter; a control character in
  // PATH is shown as U+FFFD.
  QString Label() const { return LabelFor(m_strPath); }
  static QString LabelFor(const QString& path);

 private:
  // Opens the file under the name; false when there is none to open.
  bool Open(bool atEnd);
  void Close();
  // Reads up to `budget` bytes from the open file; false at its end.
  bool ReadSome(qint64* budget);
  void TakeBytes(const char* data, qint64 size);
  void Emit(const char* data, qint64 size);
  // The held part of a line, handed on as a line.
  void Flush();
  void Watch();
  void SchedulePass();

  QString m_strPath;
  QByteArray m_baPath;
  LineSink m_onLine;
  LineSink m_onNotice;
  int m_fd = -1;
  dev_t m_dev = 0;
  ino_t m_ino = 0;
  qint64 m_nPos = 0;
  QByteArray m_partial;
  bool m_bSkipping = false;  // inside a cut line, up to its newline
  bool m_bSaidMissing = false;
  bool m_bPassQueued = false;
  int m_inotify = -1;
  int m_watch = -1;
  QSocketNotifier* m_pNotifier = nullptr;
  QTimer* m_pRecheck = nullptr;
};

}  // namespace zef
