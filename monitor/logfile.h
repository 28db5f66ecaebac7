// The monitor's log file: one 8-bit record per appended line, ending in CR LF.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace zef {

// Each UTF-16 unit reduced to its low byte, ending at the first unit whose
// low byte is zero (that unit and everything after it are not written).
// There is no length limit: a long line is written whole.
QByteArray ToNarrow(QStringView line);

// The stored path as the file system path: backslashes are separators, a
// leading single backslash stands for the home directory, so "\ZEFMON.LOG"
// is ~/ZEFMON.LOG. Anything else is used as it is.
QString ResolveLogFilePath(const QString& storedPath, const QString& homeDirectory);

enum class LogWrite { Written, OpenFailed, WriteFailed };

// Opens the file (created when missing, never truncated), appends the record
// and closes it again, so that the log survives a crash of the monitor.
LogWrite AppendToLogFile(const QString& path, QStringView line);

}  // namespace zef
