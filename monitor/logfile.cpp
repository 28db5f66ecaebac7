#include "monitor/logfile.h"

#include "platform/system/errors.h"

#include <QFile>

#include <algorithm>
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

// The descriptor of the opened log file, or -1 with `reason` set; `st`
// describes the open file.
int OpenLogFile(const QString& path, struct stat& st, QString& reason) {
  if (path.isEmpty()) {
    reason = QStringLiteral("no path");
    return -1;
  }
  const QByteArray name = QFile::encodeName(path);
  // Looked at before it is opened, since opening a device can have effects
  // of its own; looked at again once open, since the path may have changed
  // in between. Without O_NONBLOCK, opening a FIFO waits for a reader.
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

// The record of `line`: its bytes and the CR LF that ends it.
QByteArray Record(QStringView line) {
  QByteArray record = ToNarrow(line);
  record.append("\r\n", 2);
  return record;
}

// Appends the record to the open log `fd` (described by `st`) and closes it.
LogWrite WriteAndClose(int fd, const struct stat& st, const QByteArray& record, QString& reason) {
  // A record is whole or absent: what a short write left (a full disk, a
  // file size limit) is cut off again, so that the next record starts on a
  // record boundary instead of being glued onto a stub.
  // (Another program appending to the same file between the fstat and the
  // write would lose its lines to the cut; a log file is this monitor's own.)
  const off_t start = S_ISREG(st.st_mode) ? st.st_size : -1;
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

// Whether `name` may be renamed or replaced by a rotation: absent (false,
// with `exists` false), or a regular file of this user. A symbolic link is
// never followed nor moved: it may point at anything.
bool MayRotate(const QByteArray& name, bool& exists, QString& reason) {
  struct stat st {};
  exists = ::lstat(name.constData(), &st) == 0;
  if (!exists) {
    if (errno == ENOENT) return true;
    reason = QFile::decodeName(name) + QStringLiteral(": ") + ErrnoText(errno);
    return false;
  }
  if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) return true;
  reason = QFile::decodeName(name) + QStringLiteral(" is not a log file of this user");
  return false;
}

// NAME.k -> NAME.(k+1) for the old files up to the first free number (NAME.keep
// replaced when all are there), then NAME -> NAME.1. Everything involved is
// looked at before the first rename, so a refusal moves nothing. At most
// `keep` lstat calls and as many renames.
bool RotateLogFiles(const QString& path, int keep, QString& reason) {
  const QByteArray name = QFile::encodeName(path);
  const auto numbered = [&](int k) { return name + '.' + QByteArray::number(k); };
  bool exists = false;
  if (!MayRotate(name, exists, reason)) return false;
  if (!exists) return true;  // gone since it was measured: the record starts it anew
  int used = 0;              // NAME.1 ... NAME.used are there
  while (used < keep) {
    if (!MayRotate(numbered(used + 1), exists, reason)) return false;
    if (!exists) break;
    ++used;
  }
  for (int k = std::min(used, keep - 1); k >= 0; --k) {
    const QByteArray from = k == 0 ? name : numbered(k);
    if (::rename(from.constData(), numbered(k + 1).constData()) != 0) {
      reason = QStringLiteral("renaming %1: %2").arg(QFile::decodeName(from), ErrnoText(errno));
      return false;
    }
  }
  return true;
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
  struct stat st {};
  const int fd = OpenLogFile(path, st, why);
  const LogWrite result = fd < 0 ? LogWrite::OpenFailed : WriteAndClose(fd, st, Record(line), why);
  if (reason) *reason = why;
  return result;
}

CLogFile::CLogFile(Reporter report) : m_report(std::move(report)) {
  if (!m_report)
    m_report = [](const QString& message) { std::fprintf(stderr, "zefmon: %s\n", message.toLocal8Bit().constData()); };
}

LogWrite CLogFile::Append(const QString& path, QStringView line, SLogRotation rotation) {
  const QByteArray record = Record(line);
  QString reason;
  struct stat st {};
  int fd = OpenLogFile(path, st, reason);
  bool rotateReported = false;
  // The size of the open file decides, whoever else wrote to it: no other
  // system call per record. The renames go by name, so the file is closed
  // first and opened anew afterwards (a new one, or the old one when the
  // rotation failed).
  if (fd >= 0 && RotationDue(path, st, record.size(), rotation)) {
    ::close(fd);
    rotateReported = !Rotate(path, st.st_size, rotation);
    fd = OpenLogFile(path, st, reason);
  }
  const LogWrite result = fd < 0 ? LogWrite::OpenFailed : WriteAndClose(fd, st, record, reason);
  if (result == LogWrite::Written) {
    m_strReported.clear();
    return rotateReported ? LogWrite::WrittenNotRotated : result;
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

bool CLogFile::RotationDue(const QString& path, const struct stat& st, qint64 recordSize, SLogRotation rotation) {
  if (rotation.nBytes <= 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return false;
  if (path != m_strRotationPath) {
    m_strRotationPath = path;
    m_strRotateReported.clear();
    m_nRetryAt = 0;
  }
  if (st.st_size < m_nRetryAt - rotation.nBytes) m_nRetryAt = 0;  // emptied since: the size alone decides again
  return st.st_size + recordSize > std::max(rotation.nBytes, m_nRetryAt);
}

bool CLogFile::Rotate(const QString& path, qint64 size, SLogRotation rotation) {
  QString reason;
  if (RotateLogFiles(path, std::max(rotation.nKeep, 1), reason)) {
    m_strRotateReported.clear();
    m_nRetryAt = 0;
    return true;
  }
  m_nRetryAt = size + rotation.nBytes;
  if (!m_strRotateReported.isEmpty()) return true;
  m_strRotateReported =
      QStringLiteral("cannot start a new log file after \"%1\" (logging goes on in it): %2").arg(path, reason);
  m_report(m_strRotateReported);
  return false;
}

}  // namespace zef
