#include "monitor/logfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zef {

QByteArray ToNarrow(QStringView line) {
  QByteArray bytes;
  bytes.reserve(line.size() + 2);
  for (QChar unit : line) {
    const char byte = char(unit.unicode() & 0xFF);
    if (byte == 0) break;
    bytes.append(byte);
  }
  return bytes;
}

QString ResolveLogFilePath(const QString& storedPath, const QString& homeDirectory) {
  QString path = storedPath;
  const bool fromHome = path.startsWith(u'\\') && !path.startsWith(QStringLiteral("\\\\"));
  path.replace(u'\\', u'/');
  if (fromHome) path = homeDirectory + path;
  return path;
}

LogWrite AppendToLogFile(const QString& path, QStringView line) {
  if (path.isEmpty()) return LogWrite::OpenFailed;
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return LogWrite::OpenFailed;

  QByteArray record = ToNarrow(line);
  record.append("\r\n", 2);
  const char* data = record.constData();
  qsizetype left = record.size();
  bool ok = true;
  while (left > 0) {
    const ssize_t written = ::write(fd, data, size_t(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    data += written;
    left -= written;
  }
  if (::close(fd) != 0) ok = false;
  return ok ? LogWrite::Written : LogWrite::WriteFailed;
}

}  // namespace zef
