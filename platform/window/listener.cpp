#include "platform/window/listener.h"

#include <zeftrace/wire.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zef {
QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

namespace {

int NewSocket() { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

// Whether the socket file at `address` may be bound: missing, or left by a
// dead server (removed here). kServedElsewhere when a live server answers a
// connect on it.
EListenError ClearStaleSocket(const sockaddr_un& address, const QString& title, QString* errorText) {
  const char* path = address.sun_path;
  const QString shown = QString::fromUtf8(path);
  struct stat st {};
  if (::lstat(path, &st) != 0) return EListenError::kNone;
  if (!S_ISSOCK(st.st_mode)) {
    *errorText = QStringLiteral("Cannot serve windows: %1 exists and is not a socket").arg(shown);
    return EListenError::kFailed;
  }
  // A live server answers a connect; a socket file left by a dead one
  // refuses it and may be replaced.
  const int probe = NewSocket();
  if (probe < 0) {
    *errorText = QStringLiteral("Cannot serve windows: socket: %1").arg(ErrnoText(errno));
    return EListenError::kFailed;
  }
  const int rc = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int error = errno;
  ::close(probe);
  if (rc == 0 || error == EAGAIN || error == EINPROGRESS) {
    *errorText = QStringLiteral("Another program already serves the window \"%1\" (%2)").arg(title, shown);
    return EListenError::kServedElsewhere;
  }
  if (error != ECONNREFUSED && error != ENOENT) {
    *errorText = QStringLiteral("Cannot check %1: %2").arg(shown, ErrnoText(error));
    return EListenError::kFailed;
  }
  if (::unlink(path) != 0 && errno != ENOENT) {
    *errorText = QStringLiteral("Cannot replace the stale socket %1: %2").arg(shown, ErrnoText(errno));
    return EListenError::kFailed;
  }
  return EListenError::kNone;
}

// A listening socket bound at `address`, or -1 with `errorText` set.
int BindAndListen(const sockaddr_un& address, const QString& title, QString* errorText, EListenError* error) {
  const QString shown = QString::fromUtf8(address.sun_path);
  const int fd = NewSocket();
  if (fd < 0) {
    *errorText = QStringLiteral("Cannot serve windows: socket: %1").arg(ErrnoText(errno));
    return -1;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int bindError = errno;
    ::close(fd);
    if (bindError == EADDRINUSE) {
      *error = EListenError::kServedElsewhere;
      *errorText = QStringLiteral("Another program already serves the window \"%1\" (%2)").arg(title, shown);
    } else {
      *errorText = QStringLiteral("Cannot bind %1: %2").arg(shown, ErrnoText(bindError));
    }
    return -1;
  }
  ::chmod(address.sun_path, 0600);
  if (::listen(fd, 128) != 0) {
    *errorText = QStringLiteral("Cannot listen on %1: %2").arg(shown, ErrnoText(errno));
    ::close(fd);
    ::unlink(address.sun_path);
    return -1;
  }
  return fd;
}

}  // namespace

EListenError CListener::Listen(const QString& title, QString* errorText, QString* notice) {
  Close();
  QString ignored;
  if (!errorText) errorText = &ignored;
  const wire::SSocketDirectory dir = wire::FindSocketDirectory(wire::SSocketPlaces::FromEnvironment(), true);
  if (dir.strPath.empty()) {
    *errorText = QStringLiteral("Cannot serve windows: %1").arg(QString::fromStdString(dir.strError));
    return EListenError::kFailed;
  }
  const std::string path = dir.strPath + "/" + wire::SocketNameForTitle(title.toStdString());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *errorText = QStringLiteral("Cannot serve windows: socket path too long: %1").arg(QString::fromStdString(path));
    return EListenError::kFailed;
  }
  path.copy(address.sun_path, path.size());
  if (const EListenError error = ClearStaleSocket(address, title, errorText); error != EListenError::kNone)
    return error;
  EListenError error = EListenError::kFailed;
  const int fd = BindAndListen(address, title, errorText, &error);
  if (fd < 0) return error;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) m_nInode = st.st_ino;
  m_nFd = fd;
  m_nSpareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  m_strPath = path;
  if (notice) *notice = QString::fromStdString(dir.strNotice);
  return EListenError::kNone;
}

void CListener::Close() {
  if (m_nSpareFd >= 0) ::close(m_nSpareFd);
  m_nSpareFd = -1;
  if (m_nFd >= 0) {
    ::close(m_nFd);
    m_nFd = -1;
    struct stat st {};
    if (::lstat(m_strPath.c_str(), &st) == 0 && st.st_ino == m_nInode) ::unlink(m_strPath.c_str());
  }
  m_strPath.clear();
}

CListener::SAccepted CListener::Accept() {
  SAccepted taken;
  if (m_nFd < 0) return taken;
  socklen_t length = sizeof taken.cred;
  taken.nFd = ::accept4(m_nFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (taken.nFd >= 0) {
    taken.bCred = ::getsockopt(taken.nFd, SOL_SOCKET, SO_PEERCRED, &taken.cred, &length) == 0;
    return taken;
  }
  if ((errno != EMFILE && errno != ENFILE) || m_nSpareFd < 0) return taken;
  taken.nNoFd = errno;
  ::close(m_nSpareFd);
  const int fd = ::accept4(m_nFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) {
    taken.bTurnedAway = true;
    ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &taken.cred, &length);
    ::close(fd);
  }
  m_nSpareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  return taken;
}

}  // namespace zef
