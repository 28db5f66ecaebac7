// The monitor's log file: one record per appended line, the line in UTF-8
// followed by CR LF.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

struct stat;

namespace zef {

// The bytes of one record before its CR LF: the line in UTF-8, whole (no
// length limit, and a U+0000 is written like any other character). An
// unpaired surrogate is written as U+FFFD, and a CR or LF inside the line as
// the visible U+240D or U+240A, so that one line is always one record and
// no line can forge another. A line of ASCII without CR or LF comes out
// byte for byte.
QByteArray ToNarrow(QStringView line);

// The stored path as the file system path: backslashes are separators, a
// leading single backslash or a leading "~/" stands for the home directory,
// so "\ZEFMON.LOG" is ~/ZEFMON.LOG. Anything else is used as it is.
QString ResolveLogFilePath(const QString& storedPath, const QString& homeDirectory);

// WrittenNotRotated: the record is in the log, but the log was due for a new
// file and could not start one (CLogFile only).
enum class LogWrite { Written, OpenFailed, WriteFailed, WrittenNotRotated };

// When the log starts a new file: before a record that would take the
// current one past `nBytes` (0: never). The current file becomes NAME.1,
// the older ones move up by one, and at most `nKeep` old files stay (at
// least one: a keep count below 1 keeps one).
struct SLogRotation {
  qint64 nBytes = 0;
  int nKeep = 0;
};

// Opens the file (created when missing, never truncated), appends the record
// and closes it again, so that the log survives a crash of the monitor. The
// open never blocks, and only a regular file or /dev/null is written: a
// FIFO, a device or a directory is OpenFailed. On failure `reason` (when
// given) says why.
LogWrite AppendToLogFile(const QString& path, QStringView line, QString* reason = nullptr);

// Appends to the log file as AppendToLogFile does and reports why a record
// could not be written: once per distinct failure (path, step and reason),
// not once per line; a record written again ends the failure, so the next
// one is reported anew.
//
// With a rotation size, a record never straddles two files: the new file
// is started before the record that would cross the size (a record larger
// than the size gets a file of its own). Only regular files of this user
// are renamed or replaced; a symbolic link, a directory or another user's
// file among NAME, NAME.1 ... stops the rotation before anything moved.
// A rotation that fails leaves the log in the old file, is reported once
// until one succeeds (Append returns WrittenNotRotated for that record), and
// is tried again when the file has grown by the rotation size once more.
class CLogFile {
 public:
  using Reporter = std::function<void(const QString& message)>;
  // Without a reporter, messages go to standard error.
  explicit CLogFile(Reporter report = {});

  LogWrite Append(const QString& path, QStringView line, SLogRotation rotation = {});

 private:
  // Whether the record would take the open log (`st`) past the rotation size
  // (or, after a failed rotation, past the size that tries again).
  bool RotationDue(const QString& path, const struct stat& st, qint64 recordSize, SLogRotation rotation);
  // Starts a new file; false when that failed and this is the first time it
  // is reported.
  bool Rotate(const QString& path, qint64 size, SLogRotation rotation);

  Reporter m_report;
  QString m_strReported;        // the failure last reported, until a record is written
  QString m_strRotationPath;    // the log the two below are about
  QString m_strRotateReported;  // the rotation failure reported, until a rotation succeeds
  qint64 m_nRetryAt = 0;        // after a failed rotation: the size that tries again
};

}  // namespace zef
