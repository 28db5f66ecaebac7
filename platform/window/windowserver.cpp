#include "platform/window/windowserver.h"

#include <zeftrace/wire.h>

#include <QPointer>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zef {
namespace {

// Beyond one maximal group, a client may have this much unprocessed input
// or unread replies before it is dropped.
constexpr size_t kMaxInputBytes = 2 * size_t(wire::kMaxTextBytes) + 64 * 1024;
constexpr size_t kMaxOutputBytes = 2 * size_t(wire::kMaxTextBytes) + 64 * 1024;
constexpr size_t kMaxClients = 256;

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool IsCarriedMessage(std::uint32_t message) {
  return message == WM_SETTEXT || message == WM_GETTEXT || message == WM_COMMAND || message == WM_CLOSE;
}

}  // namespace

struct CWindowServer::SClient {
  int nFd = -1;
  std::string strIn;
  std::string strOut;
  QSocketNotifier* pReadNotifier = nullptr;
  QSocketNotifier* pWriteNotifier = nullptr;
  bool bEof = false;
  bool bDead = false;
};

CWindowServer::CWindowServer(IWindowHost& host, QObject* parent) : QObject(parent), m_host(host) {}

CWindowServer::~CWindowServer() { Close(); }

QString CWindowServer::SocketPath() const { return QString::fromStdString(m_strPath); }

int CWindowServer::ClientCount() const {
  int count = 0;
  for (const auto& client : m_clients) count += client->bDead ? 0 : 1;
  return count;
}

bool CWindowServer::Listen(const QString& title, QString* errorText) {
  Close();
  auto fail = [errorText](const QString& text) {
    if (errorText) *errorText = text;
    return false;
  };
  std::string dirError;
  const std::string dir = wire::SocketDirectory(true, &dirError);
  if (dir.empty()) return fail(QStringLiteral("Cannot serve windows: %1").arg(QString::fromStdString(dirError)));
  const std::string path = dir + "/" + wire::SocketNameForTitle(title.toStdString());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path)
    return fail(QStringLiteral("Cannot serve windows: socket path too long: %1").arg(QString::fromStdString(path)));
  path.copy(address.sun_path, path.size());
  const QString shownPath = QString::fromStdString(path);

  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode))
      return fail(QStringLiteral("Cannot serve windows: %1 exists and is not a socket").arg(shownPath));
    // A live server answers a connect; a socket file left by a dead one
    // refuses it and may be replaced.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) return fail(QStringLiteral("Cannot serve windows: socket: %1").arg(ErrnoText(errno)));
    const int rc = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(probe);
    if (rc == 0 || error == EAGAIN || error == EINPROGRESS)
      return fail(QStringLiteral("Another program already serves the window \"%1\" (%2)").arg(title, shownPath));
    if (error != ECONNREFUSED && error != ENOENT)
      return fail(QStringLiteral("Cannot check %1: %2").arg(shownPath, ErrnoText(error)));
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
      return fail(QStringLiteral("Cannot replace the stale socket %1: %2").arg(shownPath, ErrnoText(errno)));
  }

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return fail(QStringLiteral("Cannot serve windows: socket: %1").arg(ErrnoText(errno)));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EADDRINUSE)
      return fail(QStringLiteral("Another program already serves the window \"%1\" (%2)").arg(title, shownPath));
    return fail(QStringLiteral("Cannot bind %1: %2").arg(shownPath, ErrnoText(error)));
  }
  ::chmod(path.c_str(), 0600);
  if (::listen(fd, 64) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    return fail(QStringLiteral("Cannot listen on %1: %2").arg(shownPath, ErrnoText(error)));
  }
  if (::lstat(path.c_str(), &st) == 0) m_nSocketInode = st.st_ino;
  m_nListenFd = fd;
  m_strPath = path;
  m_pListenNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(m_pListenNotifier, &QSocketNotifier::activated, this, &CWindowServer::AcceptClients);
  return true;
}

void CWindowServer::Close() {
  for (auto& client : m_clients) Drop(client.get(), {});
  if (!m_bProcessing) Reap();
  if (m_pListenNotifier) {
    m_pListenNotifier->setEnabled(false);
    m_pListenNotifier->deleteLater();
    m_pListenNotifier = nullptr;
  }
  if (m_nListenFd >= 0) {
    ::close(m_nListenFd);
    m_nListenFd = -1;
    // Remove the file only while it is still ours: a successor may have
    // replaced it already.
    struct stat st {};
    if (::lstat(m_strPath.c_str(), &st) == 0 && st.st_ino == m_nSocketInode) ::unlink(m_strPath.c_str());
  }
  m_strPath.clear();
}

void CWindowServer::AcceptClients() {
  for (;;) {
    const int fd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN, or an error the next activation retries
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
      ::close(fd);
      Q_EMIT ClientRefused(peer.uid);
      continue;
    }
    if (size_t(ClientCount()) >= kMaxClients) {
      ::close(fd);
      Q_EMIT ClientDropped(QStringLiteral("too many clients"));
      continue;
    }
    auto client = std::make_unique<SClient>();
    client->nFd = fd;
    SClient* raw = client.get();
    client->pReadNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(client->pReadNotifier, &QSocketNotifier::activated, this, [this, raw] { ReadClient(raw); });
    client->pWriteNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    client->pWriteNotifier->setEnabled(false);
    connect(client->pWriteNotifier, &QSocketNotifier::activated, this, [this, raw] { WriteClient(raw); });
    m_clients.push_back(std::move(client));
  }
}

void CWindowServer::ReadClient(SClient* client) {
  if (client->bDead) return;
  char chunk[64 * 1024];
  while (client->strIn.size() < kMaxInputBytes) {
    const ssize_t n = ::recv(client->nFd, chunk, sizeof chunk, 0);
    if (n > 0) {
      client->strIn.append(chunk, size_t(n));
      // A short read drained the socket; the notifier fires again for more.
      if (size_t(n) < sizeof chunk) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // End of stream or a reset: whole groups already received still run.
    client->bEof = true;
    client->pReadNotifier->setEnabled(false);
    break;
  }
  // A full buffer is read on only after its groups ran.
  if (client->strIn.size() >= kMaxInputBytes) client->pReadNotifier->setEnabled(false);
  ProcessClients();
}

void CWindowServer::WriteClient(SClient* client) {
  if (client->bDead) return;
  while (!client->strOut.empty()) {
    const ssize_t n = ::send(client->nFd, client->strOut.data(), client->strOut.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      client->strOut.erase(0, size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    Drop(client, {});  // the client went away; nothing to report
    return;
  }
  client->pWriteNotifier->setEnabled(!client->strOut.empty());
  if (client->strOut.size() > kMaxOutputBytes) {
    Drop(client, QStringLiteral("client does not read its replies"));
    return;
  }
  if (client->strOut.empty()) ProcessClients();  // it may have groups waiting for the reply to go out
}

CWindowServer::EScan CWindowServer::ScanGroup(const SClient& client, size_t* groupEnd, QString* reason) const {
  size_t pos = 0;
  for (std::uint32_t frames = 1;; ++frames) {
    if (client.strIn.size() - pos < sizeof(wire::SFrameHeader)) return EScan::kIncomplete;
    wire::SFrameHeader h;
    std::memcpy(&h, client.strIn.data() + pos, sizeof h);
    if (h.nMagic != wire::kMagic || h.nVersion != wire::kVersion || h.nReserved != 0) {
      *reason = QStringLiteral("not a frame of this protocol version");
      return EScan::kInvalid;
    }
    if (h.nOp < std::uint8_t(wire::EOp::kFindWindow) || h.nOp > std::uint8_t(wire::EOp::kSendMessage) ||
        (h.nFlags & ~wire::kFlagGroupContinues) != 0) {
      *reason = QStringLiteral("unknown request");
      return EScan::kInvalid;
    }
    if (h.nTextBytes > wire::kMaxTextBytes || h.nTextBytes % sizeof(char16_t) != 0) {
      *reason = QStringLiteral("text length %1 out of range").arg(h.nTextBytes);
      return EScan::kInvalid;
    }
    if (frames > wire::kMaxGroupFrames) {
      *reason = QStringLiteral("group too long");
      return EScan::kInvalid;
    }
    pos += sizeof h;
    if (client.strIn.size() - pos < h.nTextBytes) return EScan::kIncomplete;
    pos += h.nTextBytes;
    if (!(h.nFlags & wire::kFlagGroupContinues)) {
      *groupEnd = pos;
      return EScan::kComplete;
    }
  }
}

void CWindowServer::ProcessClients() {
  if (m_bProcessing) return;  // a nested event loop: the running pass takes the input up
  m_bProcessing = true;
  QPointer<CWindowServer> guard(this);
  bool progress = true;
  while (progress) {
    progress = false;
    // One group per client and round, so a busy client cannot starve others.
    for (size_t i = 0; i < m_clients.size(); ++i) {
      SClient* client = m_clients[i].get();
      if (client->bDead || !client->strOut.empty()) continue;
      size_t groupEnd = 0;
      QString reason;
      switch (ScanGroup(*client, &groupEnd, &reason)) {
        case EScan::kInvalid:
          Drop(client, reason);
          continue;
        case EScan::kIncomplete:
          if (client->strIn.size() >= kMaxInputBytes) {
            Drop(client, QStringLiteral("request too large"));
          } else if (client->bEof) {
            Drop(client, {});  // gone, maybe mid-line: a half group never runs
          } else if (!client->pReadNotifier->isEnabled()) {
            client->pReadNotifier->setEnabled(true);
          }
          continue;
        case EScan::kComplete:
          break;
      }
      if (!RunGroup(client, groupEnd)) return;  // the server itself was destroyed
      progress = true;
    }
  }
  if (!guard) return;
  m_bProcessing = false;
  Reap();
}

bool CWindowServer::RunGroup(SClient* client, size_t groupEnd) {
  QPointer<CWindowServer> guard(this);
  std::string replies;
  size_t pos = 0;
  while (pos < groupEnd) {
    wire::SFrameHeader h;
    std::memcpy(&h, client->strIn.data() + pos, sizeof h);
    pos += sizeof h;
    std::u16string text(h.nTextBytes / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), client->strIn.data() + pos, h.nTextBytes);
    pos += h.nTextBytes;

    wire::SReplyHeader reply{};
    std::u16string textOut;
    switch (static_cast<wire::EOp>(h.nOp)) {
      case wire::EOp::kFindWindow:
        reply.nResult = m_host.FindWindow(text);
        break;
      case wire::EOp::kGetFirstChild:
        reply.nResult = m_host.GetFirstChild(h.nWindow);
        break;
      case wire::EOp::kSendMessage:
        if (!IsCarriedMessage(h.nMessage)) {
          reply.nStatus = std::uint32_t(wire::EStatus::kUnsupportedMessage);
          break;
        }
        reply.nResult = m_host.SendMessage(h.nWindow, h.nMessage, WPARAM(h.nWParam), text,
                                           h.nMessage == WM_GETTEXT ? &textOut : nullptr);
        break;
    }
    if (!guard) return false;  // a handler closed the program
    if (textOut.size() * sizeof(char16_t) > wire::kMaxTextBytes) textOut.resize(wire::kMaxTextBytes / sizeof(char16_t));
    reply.nTextBytes = std::uint32_t(textOut.size() * sizeof(char16_t));
    replies.append(reinterpret_cast<const char*>(&reply), sizeof reply);
    replies.append(reinterpret_cast<const char*>(textOut.data()), reply.nTextBytes);
  }
  if (client->bDead) return true;  // dropped meanwhile (by Close in a handler)
  client->strIn.erase(0, groupEnd);
  client->strOut += replies;
  WriteClient(client);
  return true;
}

void CWindowServer::Drop(SClient* client, const QString& reason) {
  if (client->bDead) return;
  client->bDead = true;
  for (QSocketNotifier* notifier : {client->pReadNotifier, client->pWriteNotifier}) {
    notifier->setEnabled(false);
    notifier->deleteLater();  // it may be the one whose signal is running
  }
  ::close(client->nFd);
  client->nFd = -1;
  client->strIn = {};
  client->strOut = {};
  if (!reason.isEmpty()) Q_EMIT ClientDropped(reason);
}

void CWindowServer::Reap() {
  std::erase_if(m_clients, [](const std::unique_ptr<SClient>& client) { return client->bDead; });
}

}  // namespace zef
