#include "sources/filefollow.h"

#include "platform/system/textunits.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zef {
namespace {

// Bytes asked of read() at once: large enough for a fast writer, small
// enough to sit on the stack.
constexpr qint64 kChunk = 64 * 1024;

QString ErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

// A path may hold any byte but '/' and NUL; its label shows it as one field.
QString CFileFollow::LabelFor(const QString& path) { return ShownLabel(QStringLiteral("file:") + path); }

CFileFollow::CFileFollow(const QString& path, LineSink onLine, LineSink onNotice, QObject* parent)
    : QObject(parent),
      m_strPath(path),
      m_baPath(QFile::encodeName(path)),
      m_onLine(std::move(onLine)),
      m_onNotice(std::move(onNotice)) {}

CFileFollow::~CFileFollow() {
  Close();
  if (m_inotify >= 0) ::close(m_inotify);
}

void CFileFollow::Start(bool fromStart) {
  Watch();
  m_pRecheck = new QTimer(this);
  connect(m_pRecheck, &QTimer::timeout, this, [this] {
    if (m_watch < 0) Watch();
    Pass();
  });
  m_pRecheck->start(kRecheckMs);
  if (!Open(!fromStart)) return;
  Pass();
}

void CFileFollow::Watch() {
  if (m_inotify < 0) {
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0) return;  // the recheck timer alone then
    m_pNotifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] {
      // Only events of the followed name (or of the directory itself) call
      // for a pass: a busy directory's other files cost a read here only.
      const QByteArray name = QFile::encodeName(QFileInfo(m_strPath).fileName());
      alignas(inotify_event) char buffer[16 * 1024];
      bool ours = false;
      for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0) {
          if (n < 0 && errno == EINTR) continue;
          break;
        }
        for (ssize_t at = 0; at < n;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
          if (event->len == 0 || std::strncmp(event->name, name.constData(), event->len) == 0) ours = true;
          if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
            // The directory went: watched again once it is back.
            ::inotify_rm_watch(m_inotify, m_watch);
            m_watch = -1;
          }
          at += ssize_t(sizeof(inotify_event)) + event->len;
        }
      }
      if (ours) Pass();
    });
  }
  const QByteArray dir = QFile::encodeName(QFileInfo(m_strPath).absolutePath());
  m_watch = ::inotify_add_watch(m_inotify, dir.constData(),
                                IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB |
                                    IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF);
}

bool CFileFollow::Open(bool atEnd) {
  const int fd = ::open(m_baPath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (!m_bSaidMissing) {
      m_onNotice(QStringLiteral("%1: %2; waiting for it to appear").arg(Label(), ErrorText(errno)));
      m_bSaidMissing = true;
    }
    return false;
  }
  struct stat st {};
  ::fstat(fd, &st);
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (!m_bSaidMissing) {
      m_onNotice(QStringLiteral("%1: %2; waiting for a file of that name").arg(Label(), ErrorText(EISDIR)));
      m_bSaidMissing = true;
    }
    return false;
  }
  m_fd = fd;
  m_dev = st.st_dev;
  m_ino = st.st_ino;
  m_nPos = 0;
  if (atEnd && S_ISREG(st.st_mode)) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    m_nPos = end > 0 ? end : 0;
  }
  return true;
}

void CFileFollow::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

void CFileFollow::SchedulePass() {
  if (m_bPassQueued) return;
  m_bPassQueued = true;
  QTimer::singleShot(0, this, [this] { Pass(); });
}

void CFileFollow::Pass() {
  m_bPassQueued = false;
  qint64 budget = kMaxPassBytes;
  if (m_fd < 0) {
    if (!Open(false)) return;
    if (m_bSaidMissing) m_onNotice(QStringLiteral("%1 appeared; following it").arg(Label()));
    m_bSaidMissing = false;
  }
  for (int opened = 0; opened < 2; ++opened) {
    // What is open is read to its end first: after a rename its writer may
    // still have appended to it.
    while (ReadSome(&budget)) {
      if (budget <= 0) {
        SchedulePass();
        return;
      }
    }
    if (m_fd < 0) return;  // a read error, said
    struct stat named {};
    if (::stat(m_baPath.constData(), &named) != 0) {
      if (!m_bSaidMissing) {
        m_onNotice(QStringLiteral("%1 was removed; waiting for it to appear again").arg(Label()));
        m_bSaidMissing = true;
      }
      // Renamed away, it is kept open for what its writer still appends;
      // deleted, it is let go, so that its disk space is freed.
      struct stat open {};
      if (::fstat(m_fd, &open) == 0 && open.st_nlink == 0) {
        Flush();
        Close();
      }
      return;
    }
    if (named.st_dev == m_dev && named.st_ino == m_ino) {
      struct stat open {};
      if (::fstat(m_fd, &open) != 0 || !S_ISREG(open.st_mode) || open.st_size >= m_nPos) return;
      // Shorter than what was read: copied and truncated in place.
      Flush();
      m_nPos = ::lseek(m_fd, 0, SEEK_SET) == 0 ? 0 : m_nPos;
      m_onNotice(QStringLiteral("%1 was truncated; reading it from its beginning").arg(Label()));
      continue;
    }
    // Another file under the name now: the old one is done.
    Flush();
    Close();
    if (!Open(false)) return;
    m_onNotice(m_bSaidMissing ? QStringLiteral("%1 appeared again; following it").arg(Label())
                              : QStringLiteral("%1 was replaced; following the new file").arg(Label()));
    m_bSaidMissing = false;
  }
  // Replaced twice within one pass: the next one goes on.
  SchedulePass();
}

bool CFileFollow::ReadSome(qint64* budget) {
  if (m_fd < 0) return false;
  char buffer[kChunk];
  for (;;) {
    const ssize_t n = ::read(m_fd, buffer, size_t(std::min(*budget, kChunk)));
    if (n > 0) {
      m_nPos += n;
      *budget -= n;
      TakeBytes(buffer, n);
      return true;
    }
    if (n == 0 || errno == EAGAIN) return false;
    if (errno == EINTR) continue;
    m_onNotice(QStringLiteral("%1: cannot read: %2").arg(Label(), ErrorText(errno)));
    Close();
    return false;
  }
}

void CFileFollow::TakeBytes(const char* data, qint64 size) {
  const char* p = data;
  const char* const end = data + size;
  while (p < end) {
    const auto* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
    if (m_bSkipping) {
      if (!nl) return;
      m_bSkipping = false;
      p = nl + 1;
      continue;
    }
    if (m_partial.isEmpty() && nl && nl - p <= kMaxLineBytes) {
      Emit(p, nl - p);
      p = nl + 1;
      continue;
    }
    const char* const stop = nl ? nl : end;
    const qint64 room = kMaxLineBytes - m_partial.size();
    if (stop - p > room) {
      m_partial.append(p, room);
      p += room;
      Emit(m_partial.constData(), m_partial.size());
      m_partial.clear();
      m_bSkipping = true;
      m_onNotice(QStringLiteral("%1: a line longer than %2 bytes was cut there").arg(Label()).arg(kMaxLineBytes));
      continue;
    }
    m_partial.append(p, stop - p);
    p = stop;
    if (nl) {
      Emit(m_partial.constData(), m_partial.size());
      m_partial.clear();
      ++p;
    }
  }
}

void CFileFollow::Emit(const char* data, qint64 size) {
  if (size > 0 && data[size - 1] == '\r') --size;
  m_onLine(QString::fromUtf8(data, size));
}

void CFileFollow::Flush() {
  m_bSkipping = false;
  if (m_partial.isEmpty()) return;
  Emit(m_partial.constData(), m_partial.size());
  m_partial.clear();
}

}  // namespace zef
