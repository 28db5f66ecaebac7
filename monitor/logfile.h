// The monitor's log file: one record per appended line, the line in UTF-8
// followed by CR LF.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

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

enum class LogWrite { Written, OpenFailed, WriteFailed };

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
class CLogFile {
 public:
  using Reporter = std::function<void(const QString& message)>;
  // Without a reporter, messages go to standard error.
  explicit CLogFile(Reporter report = {});

  LogWrite Append(const QString& path, QStringView line);

 private:
  Reporter m_report;
  QString m_strReported;  // the failure last reported, until a record is written
};

}  // namespace zef
