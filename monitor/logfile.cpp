#include "monitor/logfile.h"

#include "platform/system/errors.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zef {

namespace {

void PutUtf8(QByteArray& out, char32_t cp) {
  if (cp < 0x80) {
    out.append(char(cp));
  } else if (cp < 0x800) {
    out.append(char(0xC0 | (cp >> 6)));
    out.append(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.append(char(0xE0 | (cp >> 12)));
    out.append(char(0x80 | ((cp >> 6) & 0x3F)));
    out.append(char(0x80 | (cp & 0x3F)));
  } else {
    out.append(char(0xF0 | (cp >> 18)));
    out.append(char(0x80 | ((cp >> 12) & 0x3F)));
    out.append(char(0x80 | ((cp >> 6) & 0x3F)));
    out.append(char(0x80 | (cp & 0x3F)));
  }
}

QString ErrnoText(int error) {
  QString text;
  if (!FormatMessage(std::uint32_t(error), &text)) text = QStringLiteral("error %1").arg(error);
  return text;
}

// What may be written to: a regular file, or /dev/null on purpose.
bool IsLogTarget(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return true;
  struct stat null {};
  return S_ISCHR(st.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && null.st_rdev == st.st_rdev;
}

const QString& NotARegularFile() {
  static const QString text = QStringLiteral("not a regular file");
  return text;
}

// The descriptor of the opened log file, or -1 with `reason` set.
int OpenLogFile(const QString& path, QString& reason) {
  const QByteArray name = QFile::encodeName(path);
  // Looked at before it is opened, since opening a device can have effects
  // of its own; looked at again once open, since the path may have changed
  // in between. Without O_NONBLOCK, opening a FIFO waits for a reader.
  struct stat st {};
  if (::stat(name.constData(), &st) == 0 && !IsLogTarget(st)) {
    reason = NotARegularFile();
    return -1;
  }
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) {
    reason = ErrnoText(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !IsLogTarget(st)) {
    reason = NotARegularFile();
    ::close(fd);
    return -1;
  }
  return fd;
}

LogWrite WriteRecord(const QString& path, QStringView line, QString& reason) {
  if (path.isEmpty()) {
    reason = QStringLiteral("no path");
    return LogWrite::OpenFailed;
  }
  const int fd = OpenLogFile(path, reason);
  if (fd < 0) return LogWrite::OpenFailed;
  QByteArray record = ToNarrow(line);
  record.append("\r\n", 2);
  // A record is whole or absent: what a short write left (a full disk, a
  // file size limit) is cut off again, so that the next record starts on a
  // record boundary instead of being glued onto a stub.
  // (Another program appending to the same file between the fstat and the
  // write would lose its lines to the cut; a log file is this monitor's own.)
  struct stat st {};
  const off_t start = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
  const char* data = record.constData();
  qsizetype left = record.size();
  LogWrite result = LogWrite::Written;
  while (left > 0) {
    const ssize_t written = ::write(fd, data, size_t(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      reason = ErrnoText(errno);
      result = LogWrite::WriteFailed;
      break;
    }
    data += written;
    left -= written;
  }
  if (result == LogWrite::WriteFailed && left < record.size() && start >= 0) {
    int cut = 0;
    while (cut == 0 && ::ftruncate(fd, start) != 0) {
      if (errno != EINTR) cut = errno;
    }
    if (cut != 0) reason += QStringLiteral("; the part written could not be removed: ") + ErrnoText(cut);
  }
  if (::close(fd) != 0 && result == LogWrite::Written) {
    reason = ErrnoText(errno);
    result = LogWrite::WriteFailed;
  }
  return result;
}

}  // namespace

QByteArray ToNarrow(QStringView line) {
  QByteArray bytes;
  bytes.reserve(line.size() + 2);
  const qsizetype n = line.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t unit = line[i].unicode();
    char32_t cp = unit;
    if (QChar::isHighSurrogate(unit) && i + 1 < n && QChar::isLowSurrogate(line[i + 1].unicode())) {
      cp = QChar::surrogateToUcs4(unit, line[++i].unicode());
    } else if (QChar::isSurrogate(unit)) {
      cp = 0xFFFD;
    } else if (unit == u'\r') {
      cp = 0x240D;
    } else if (unit == u'\n') {
      cp = 0x240A;
    }
    PutUtf8(bytes, cp);
  }
  return bytes;
}

QString ResolveLogFilePath(const QString& storedPath, const QString& homeDirectory) {
  QString path = storedPath;
  const bool fromHome = path.startsWith(u'\\') && !path.startsWith(QStringLiteral("\\\\"));
  path.replace(u'\\', u'/');
  if (fromHome) return homeDirectory + path;
  if (path.startsWith(QStringLiteral("~/"))) return homeDirectory + path.mid(1);
  return path;
}

LogWrite AppendToLogFile(const QString& path, QStringView line, QString* reason) {
  QString why;
  const LogWrite result = WriteRecord(path, line, why);
  if (reason) *reason = why;
  return result;
}

CLogFile::CLogFile(Reporter report) : m_report(std::move(report)) {
  if (!m_report)
    m_report = [](const QString& message) { std::fprintf(stderr, "zefmon: %s\n", message.toLocal8Bit().constData()); };
}

LogWrite CLogFile::Append(const QString& path, QStringView line) {
  QString reason;
  const LogWrite result = AppendToLogFile(path, line, &reason);
  if (result == LogWrite::Written) {
    m_strReported.clear();
    return result;
  }
  const QString message =
      QStringLiteral("cannot %1 the log file \"%2\": %3")
          .arg(result == LogWrite::OpenFailed ? QStringLiteral("open") : QStringLiteral("write"), path, reason);
  if (message != m_strReported) {
    m_strReported = message;
    m_report(message);
  }
  return result;
}

}  // namespace zef
