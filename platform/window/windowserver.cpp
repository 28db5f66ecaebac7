#include "platform/window/windowserver.h"

#include "platform/window/window.h"

#include <zeftrace/wire.h>

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zef {
namespace {

using Clock = std::chrono::steady_clock;

// One read takes at most this much; a group larger than that is read on
// only as far as it goes.
constexpr size_t kReadChunk = 64 * 1024;
// Input held beyond one read chunk, for all clients together, while large
// groups arrive; a client that would need more waits for its turn.
constexpr size_t kLargeGroupBudget = 64 * 1024 * 1024;
// Replies held for one client before its further groups wait for it to read.
constexpr size_t kOutputHigh = 64 * 1024;
// Requests running at once, each possibly in a nested event loop; a further
// one waits until one returns, so clients cannot stack dialogs without end.
constexpr int kMaxNestedRequests = 8;
// A pass over the clients works about this long, then lets the event loop
// paint and take input before it goes on.
constexpr auto kSlice = std::chrono::milliseconds(8);

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Enough descriptors for kMaxClients connections and the program's own files.
void RaiseOpenFileLimit() {
  constexpr rlim_t kWanted = CWindowServer::kMaxClients + 1024;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kWanted) return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

enum class CWindowServer::EKind {
  kOtherUser,
  kTooManyClients,
  kNoDescriptor,
  kNotAFrame,
  kUnknownRequest,
  kTextLength,
  kGroupTooLong,
  kHalfGroup,
  kUnreadReplies,
  kRetitle,
  kCommand,
  kClose,
  kReadText,
  kIdentifyAgain,
  kIdentifyInGroup,
  kDirectory,
  kQuiet,  // a client that went away: nothing to say
};

struct CWindowServer::SClient {
  int nFd = -1;
  SPeer peer;
  // Input not handled yet: the rest of a read whose groups wait for the
  // client to read its replies, or a group still arriving.
  std::string strIn;
  std::string strOut;  // replies the socket did not take yet, from nOutSent on
  size_t nOutSent = 0;
  Clock::time_point tInSince{};   // since when strIn holds an incomplete group
  Clock::time_point tOutSince{};  // since when replies wait for the client to read
  bool bReadable = true;  // the socket may hold input: an edge was seen and no read found it empty since
  bool bHangUp = false;   // the peer shut its side: a short read does not mean nothing is left (the end is)
  bool bWatchOut = false;
  bool bEof = false;
  bool bBusy = false;  // one of its groups is running, maybe in a nested loop
  bool bDead = false;
  bool bListed = false;     // in m_active
  bool bIdentified = false;  // its identify was taken: later ones are refused
  bool bSilent = false;      // ended by Close(): no PeerGone
  bool bNoReader = false;    // its side no longer reads: replies are not kept

  bool OutPending() const { return nOutSent < strOut.size(); }
  bool InPartial() const { return !strIn.empty(); }
};

CWindowServer::CWindowServer(CWindowManager& windows, QObject* parent) : QObject(parent), m_windows(windows) {
  m_pContinue = new QTimer(this);
  m_pContinue->setSingleShot(true);
  m_pContinue->setInterval(0);
  connect(m_pContinue, &QTimer::timeout, this, &CWindowServer::ProcessClients);
  m_pStallTimer = new QTimer(this);
  connect(m_pStallTimer, &QTimer::timeout, this, &CWindowServer::CheckStalls);
  SetStallTimeout(kDefaultStallTimeout);
}

CWindowServer::~CWindowServer() { Close(); }

QString CWindowServer::SocketPath() const { return QString::fromStdString(m_strPath); }

int CWindowServer::ClientCount() const {
  int count = 0;
  for (const auto& client : m_clients) count += client->bDead ? 0 : 1;
  return count;
}

size_t CWindowServer::BufferedBytes() const {
  // Heap memory only: an empty string's inline capacity costs nothing extra.
  const size_t inline_ = std::string().capacity();
  auto held = [inline_](const std::string& buffer) { return buffer.capacity() > inline_ ? buffer.capacity() : 0; };
  size_t bytes = 0;
  for (const auto& client : m_clients) bytes += held(client->strIn) + held(client->strOut);
  return bytes;
}

void CWindowServer::SetStallTimeout(std::chrono::milliseconds timeout) {
  m_stallTimeout = std::max(timeout, std::chrono::milliseconds(1));
  // Deadlines are checked a few times per timeout, so a stall ends within
  // about 1.25 timeouts.
  m_pStallTimer->setInterval(int(std::max<long long>(m_stallTimeout.count() / 4, 1)));
}

bool CWindowServer::Listen(const QString& title, QString* errorText) {
  Close();
  auto fail = [errorText](const QString& text) {
    if (errorText) *errorText = text;
    return false;
  };
  const wire::SSocketDirectory dir = wire::FindSocketDirectory(wire::SSocketPlaces::FromEnvironment(), true);
  if (dir.strPath.empty())
    return fail(QStringLiteral("Cannot serve windows: %1").arg(QString::fromStdString(dir.strError)));
  const std::string path = dir.strPath + "/" + wire::SocketNameForTitle(title.toStdString());
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

  RaiseOpenFileLimit();
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
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event listenEvent{};
  listenEvent.events = EPOLLIN;  // level-triggered: connections left waiting are reported again
  listenEvent.data.ptr = nullptr;
  if (::listen(fd, 128) != 0 || epoll < 0 || ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &listenEvent) != 0) {
    const int error = errno;
    ::close(fd);
    if (epoll >= 0) ::close(epoll);
    ::unlink(path.c_str());
    return fail(QStringLiteral("Cannot listen on %1: %2").arg(shownPath, ErrnoText(error)));
  }
  if (::lstat(path.c_str(), &st) == 0) m_nSocketInode = st.st_ino;
  m_nListenFd = fd;
  m_nEpollFd = epoll;
  m_nSpareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  m_strPath = path;
  m_pNotifier = new QSocketNotifier(epoll, QSocketNotifier::Read, this);
  connect(m_pNotifier, &QSocketNotifier::activated, this, &CWindowServer::OnEpoll);
  if (!dir.strNotice.empty()) Report(EKind::kDirectory, QString::fromStdString(dir.strNotice));
  return true;
}

void CWindowServer::Close() {
  for (auto& client : m_clients) {
    Drop(client.get(), EKind::kQuiet, {});
    client->bSilent = true;
  }
  if (m_nDepth == 0) Reap(false);
  m_pContinue->stop();
  m_pStallTimer->stop();
  if (m_pNotifier) {
    m_pNotifier->setEnabled(false);
    m_pNotifier->deleteLater();  // its signal may be the one running
    m_pNotifier = nullptr;
  }
  for (int* fd : {&m_nEpollFd, &m_nSpareFd}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
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

void CWindowServer::Report(EKind kind, const QString& text) {
  if (kind == EKind::kQuiet || !m_reported.insert(int(kind)).second) return;
  Q_EMIT Notice(text);
}

void CWindowServer::OnEpoll() {
  if (m_nEpollFd < 0) return;
  bool accept = false;
  epoll_event events[128];
  for (;;) {
    const int n = ::epoll_wait(m_nEpollFd, events, 128, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (int i = 0; i < n; ++i) {
      auto* client = static_cast<SClient*>(events[i].data.ptr);
      if (!client) {
        accept = true;
        continue;
      }
      if (client->bDead) continue;
      Activate(client);
      if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) client->bReadable = true;
      if (events[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) client->bHangUp = true;
      if (events[i].events & EPOLLOUT) Flush(client);
    }
    if (n < 128) break;
  }
  if (accept) AcceptClients();
  ProcessClients();
}

void CWindowServer::AcceptClients() {
  // A bounded batch: the listening socket is level-triggered and reports
  // the rest on the next pass.
  for (int batch = 0; batch < 64 && m_nListenFd >= 0; ++batch) {
    int fd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && m_nSpareFd >= 0) {
      // Out of descriptors: take the client with the spare one and turn it
      // away, rather than leave it queued and the listener ready forever.
      const int error = errno;
      ::close(m_nSpareFd);
      fd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
      ucred peer{};
      socklen_t length = sizeof peer;
      if (fd >= 0) ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length);
      if (fd >= 0) ::close(fd);
      m_nSpareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      Report(EKind::kNoDescriptor, QStringLiteral("Refused a client (pid %1): %2 (%3 connections open)")
                                       .arg(peer.pid)
                                       .arg(ErrnoText(error))
                                       .arg(ClientCount()));
      if (fd < 0) return;
      continue;
    }
    if (fd < 0) return;  // EAGAIN, or an error the next activation retries
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
      ::close(fd);
      Report(EKind::kOtherUser, QStringLiteral("Refused a client of user %1 (pid %2)").arg(peer.uid).arg(peer.pid));
      continue;
    }
    if (size_t(ClientCount()) >= kMaxClients) {
      ::close(fd);
      Report(EKind::kTooManyClients,
             QStringLiteral("Refused a client (pid %1): %2 connections are open").arg(peer.pid).arg(kMaxClients));
      continue;
    }
    auto client = std::make_unique<SClient>();
    client->nFd = fd;
    // Ids wrap only after 2^32 connections; 0 stays "no peer".
    if (++m_nLastPeerId == 0) ++m_nLastPeerId;
    client->peer.nId = m_nLastPeerId;
    client->peer.nPid = peer.pid;
    // Read now, while the process that connected is most likely still the
    // one with that pid.
    client->peer.strName = ReadPeerName(peer.pid);
    epoll_event event{};
    // Edge-triggered: an idle or waiting connection costs the loop nothing;
    // bReadable remembers an edge until a read finds the socket empty.
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    event.data.ptr = client.get();
    if (::epoll_ctl(m_nEpollFd, EPOLL_CTL_ADD, fd, &event) != 0) {
      ::close(fd);
      continue;
    }
    Activate(client.get());
    m_clients.push_back(std::move(client));
  }
}

char* CWindowServer::Scratch() {
  const size_t level = size_t(m_nDepth - 1);
  while (m_scratch.size() <= level) m_scratch.push_back(std::make_unique<char[]>(kReadChunk));
  return m_scratch[level].get();
}

void CWindowServer::Activate(SClient* client) {
  if (client->bListed) return;
  client->bListed = true;
  m_active.push_back(client);
}

bool CWindowServer::NeedsService(const SClient& client) {
  if (client.bDead) return false;
  if (client.bReadable || client.bBusy || client.bEof) return true;
  // Groups that wait for their replies to be read come back with EPOLLOUT;
  // complete ones that wait for a turn stay listed.
  return !client.OutPending() && !client.strIn.empty() &&
         wire::ScanGroup(client.strIn.data(), client.strIn.size()).eScan != wire::EScan::kIncomplete;
}

void CWindowServer::ProcessClients() {
  if (m_nExclusive > 0 || m_nListenFd < 0) return;  // a group is running: nothing may come between its frames
  QPointer<CWindowServer> guard(this);
  ++m_nDepth;
  const auto sliceEnd = Clock::now() + kSlice;
  bool progress = true;
  bool more = false;
  while (progress) {
    progress = false;
    // Each client that may have work, in turn, one read's worth of groups
    // each, so a busy client cannot starve others. Idle connections are not
    // in the list and cost nothing here.
    for (size_t i = 0; i < m_active.size(); ++i) {
      switch (Serve(m_active[i])) {
        case EServe::kGone:
          return;  // a handler destroyed the server
        case EServe::kProgress:
          progress = true;
          break;
        case EServe::kIdle:
          break;
      }
    }
    if (progress && Clock::now() >= sliceEnd) {
      more = true;
      break;
    }
  }
  if (!guard) return;
  --m_nDepth;
  if (more) m_pContinue->start();
  if (m_nDepth == 0) {
    std::erase_if(m_active, [](SClient* client) {
      if (NeedsService(*client)) return false;
      client->bListed = false;
      return true;
    });
    Reap(true);
  }
}

bool CWindowServer::ReadInto(SClient* client, char* data, size_t size, size_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t n = ::recv(client->nFd, data, size, 0);
    if (n > 0) {
      *got = size_t(n);
      // A short read emptied the socket and new input brings a new edge;
      // only the end of the stream may still wait behind it.
      if (size_t(n) < size && !client->bHangUp) client->bReadable = false;
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    client->bReadable = false;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    client->bEof = true;  // end of stream or a reset
    return false;
  }
}

CWindowServer::EServe CWindowServer::Serve(SClient* client) {
  if (client->bDead || client->bBusy || client->OutPending() || client->nFd < 0) return EServe::kIdle;
  bool progress = false;
  // Groups left from an earlier read run before anything more is read.
  if (!client->strIn.empty()) {
    const wire::SGroupScan scan = wire::ScanGroup(client->strIn.data(), client->strIn.size());
    if (scan.eScan != wire::EScan::kIncomplete) {
      const size_t used = RunGroups(client, client->strIn.data(), client->strIn.size());
      if (used == std::string::npos) return EServe::kGone;
      if (client->bDead) return EServe::kProgress;
      client->strIn.erase(0, used);
      if (client->strIn.empty()) std::string().swap(client->strIn);
      if (used > 0) progress = true;
      if (!client->strIn.empty() &&
          wire::ScanGroup(client->strIn.data(), client->strIn.size()).eScan != wire::EScan::kIncomplete)
        return progress ? EServe::kProgress : EServe::kIdle;  // waits for its replies to be read, or for a turn
    }
  }
  if (!client->bReadable) {
    if (client->bEof && !client->bDead) {
      // Gone, maybe mid-line: a half group never runs.
      Drop(client, EKind::kQuiet, {});
      return EServe::kProgress;
    }
    return progress ? EServe::kProgress : EServe::kIdle;
  }

  size_t got = 0;
  if (client->strIn.empty()) {
    char* scratch = Scratch();
    if (ReadInto(client, scratch, kReadChunk, &got)) {
      const size_t used = RunGroups(client, scratch, got);
      if (used == std::string::npos) return EServe::kGone;
      if (!client->bDead && used < got) {
        client->strIn.assign(scratch + used, got - used);
        client->tInSince = Clock::now();
        ArmStallTimer();
      }
    }
  } else {
    // The rest of a group: read what it needs, in chunks; beyond one chunk
    // only while the servers's budget for large groups allows.
    const wire::SGroupScan scan = wire::ScanGroup(client->strIn.data(), client->strIn.size());
    const size_t have = client->strIn.size();
    size_t want = std::max(scan.nEnd, have + 1) - have;
    want = std::min(std::max(want, kReadChunk - std::min(have, kReadChunk)), kReadChunk);
    if (have + want > kReadChunk) {
      size_t held = 0;
      for (const auto& other : m_clients)
        if (other->strIn.size() > kReadChunk) held += other->strIn.size() - kReadChunk;
      if (held + want > kLargeGroupBudget) return progress ? EServe::kProgress : EServe::kIdle;
    }
    client->strIn.resize(have + want);
    ReadInto(client, client->strIn.data() + have, want, &got);
    client->strIn.resize(have + got);
    if (got > 0) {
      const size_t used = RunGroups(client, client->strIn.data(), client->strIn.size());
      if (used == std::string::npos) return EServe::kGone;
      if (!client->bDead) {
        client->strIn.erase(0, used);
        if (used > 0) client->tInSince = Clock::now();
        if (client->strIn.empty()) std::string().swap(client->strIn);
      }
    }
  }
  if (client->bEof && !client->bDead && !client->bReadable) {
    // Whole groups already received still run (above, or once their replies
    // are read); only a half group is left behind.
    const bool waiting = !client->strIn.empty() &&
                         wire::ScanGroup(client->strIn.data(), client->strIn.size()).eScan == wire::EScan::kComplete;
    if (!waiting) Drop(client, EKind::kQuiet, {});
  }
  return got > 0 || client->bDead || progress ? EServe::kProgress : EServe::kIdle;
}

size_t CWindowServer::RunGroups(SClient* client, const char* data, size_t size) {
  size_t pos = 0;
  while (!client->bDead && pos < size) {
    if (client->strOut.size() - client->nOutSent >= kOutputHigh) {
      Flush(client);
      if (client->bDead || client->OutPending()) break;
    }
    const wire::SGroupScan scan = wire::ScanGroup(data + pos, size - pos);
    if (scan.eScan == wire::EScan::kIncomplete) break;
    if (scan.eScan == wire::EScan::kInvalid) {
      const QString who = QStringLiteral("Dropped a client (pid %1): ").arg(client->peer.nPid);
      switch (scan.eFault) {
        case wire::EFault::kNotAFrame:
          Drop(client, EKind::kNotAFrame, who + QStringLiteral("not a frame of this protocol version"));
          break;
        case wire::EFault::kUnknownRequest:
          Drop(client, EKind::kUnknownRequest, who + QStringLiteral("unknown request"));
          break;
        case wire::EFault::kTextLength:
          Drop(client, EKind::kTextLength,
               who + QStringLiteral("text length %1 out of range (at most %2 bytes)")
                         .arg(scan.nTextBytes)
                         .arg(wire::kMaxTextBytes));
          break;
        case wire::EFault::kGroupTooLong:
        case wire::EFault::kNone:
          Drop(client, EKind::kGroupTooLong,
               who + QStringLiteral("a group of more than %1 frames").arg(wire::kMaxGroupFrames));
          break;
      }
      break;
    }
    // A request alone may run a nested loop; past the limit it waits until
    // one of those returns.
    if (scan.nFrames == 1 && m_nNested >= kMaxNestedRequests) break;
    if (!RunGroup(client, data + pos, scan.nEnd, scan.nFrames)) return std::string::npos;
    pos += scan.nEnd;
  }
  if (!client->bDead) Flush(client);
  return pos;
}

bool CWindowServer::RunGroup(SClient* client, const char* data, size_t end, std::uint32_t frames) {
  QPointer<CWindowServer> guard(this);
  const bool exclusive = frames > 1;
  if (exclusive) {
    ++m_nExclusive;
  } else {
    ++m_nNested;
  }
  // Its input (maybe in strIn) stays put while a handler runs.
  client->bBusy = true;
  std::u16string text;
  size_t pos = 0;
  while (pos < end) {
    wire::SFrameHeader h;
    std::memcpy(&h, data + pos, sizeof h);
    pos += sizeof h;
    text.resize(h.nTextBytes / sizeof(char16_t));
    std::memcpy(text.data(), data + pos, h.nTextBytes);
    pos += h.nTextBytes;

    wire::SReplyHeader reply{};
    switch (static_cast<wire::EOp>(h.nOp)) {
      case wire::EOp::kFindWindow:
        reply.nResult = m_windows.FindWindow(text);
        break;
      case wire::EOp::kGetFirstChild:
        reply.nResult = m_windows.GetFirstChild(h.nWindow);
        break;
      case wire::EOp::kSendMessage:
        if (h.nMessage == wire::kMsgIdentify && h.nWindow == 0) {
          reply.nResult = Identify(client, text, exclusive, &reply.nStatus);
        } else if (Admit(*client, h, &reply.nStatus)) {
          reply.nResult = m_windows.SendMessageFrom(&client->peer, h.nWindow, h.nMessage, WPARAM(h.nWParam), text,
                                                    nullptr);
        }
        break;
    }
    if (!guard) return false;  // a handler closed the program
    if (!client->bDead && !client->bNoReader) client->strOut.append(reinterpret_cast<const char*>(&reply), sizeof reply);
  }
  if (exclusive) {
    --m_nExclusive;
  } else {
    --m_nNested;
  }
  client->bBusy = false;
  return true;
}

bool CWindowServer::Admit(const SClient& client, const wire::SFrameHeader& h, std::uint32_t* status) {
  const QString who = QStringLiteral("Refused a request of pid %1 ").arg(client.peer.nPid);
  switch (h.nMessage) {
    case WM_SETTEXT:
      if (!m_windows.IsTopLevel(h.nWindow)) return true;  // the buffer
      // Clients find a monitor by its title: no other process renames it.
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kRetitle, who + QStringLiteral("to retitle the window \"%1\"")
                                        .arg(m_windows.FromHandle(h.nWindow)->GetWindowText()));
      return false;
    case WM_COMMAND:
      if (h.nWParam == kEntryFromBufferCommand && m_windows.IsTopLevel(h.nWindow)) return true;
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kCommand,
             who + QStringLiteral("to run command %1: only Entry from Buffer is taken from clients").arg(h.nWParam));
      return false;
    case WM_CLOSE:
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kClose, who + QStringLiteral("to close a window: only the user closes the monitor"));
      return false;
    case WM_GETTEXT:
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kReadText, who + QStringLiteral("to read a window's text: clients only hand lines over"));
      return false;
    default:
      *status = std::uint32_t(wire::EStatus::kUnsupportedMessage);
      return false;
  }
}

std::int64_t CWindowServer::Identify(SClient* client, std::u16string_view text, bool inGroup, std::uint32_t* status) {
  if (inGroup || client->bIdentified) {
    *status = std::uint32_t(wire::EStatus::kRefused);
    Report(inGroup ? EKind::kIdentifyInGroup : EKind::kIdentifyAgain,
           QStringLiteral("Refused an identification of pid %1: %2")
               .arg(client->peer.nPid)
               .arg(inGroup ? QStringLiteral("it came inside a group of frames")
                            : QStringLiteral("the connection was identified before")));
    return 0;
  }
  client->bIdentified = true;
  TakeToldIdentity(QStringView(text.data(), qsizetype(text.size())), &client->peer);
  return client->peer.bTold ? 1 : 0;
}

void CWindowServer::WatchOutput(SClient* client, bool watch) {
  if (client->bWatchOut == watch || client->nFd < 0) return;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET | (watch ? std::uint32_t(EPOLLOUT) : 0u);
  event.data.ptr = client;
  ::epoll_ctl(m_nEpollFd, EPOLL_CTL_MOD, client->nFd, &event);
  client->bWatchOut = watch;
}

void CWindowServer::Flush(SClient* client) {
  if (client->bDead) return;
  bool sent = false;
  while (client->OutPending()) {
    const ssize_t n = ::send(client->nFd, client->strOut.data() + client->nOutSent,
                             client->strOut.size() - client->nOutSent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      client->nOutSent += size_t(n);
      sent = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
      // The client reads no more: it died, perhaps with whole groups still
      // in the socket. Those run (its last lines are the ones that tell why
      // it died); replies go nowhere, and its input's end drops it.
      client->bNoReader = true;
      client->nOutSent = client->strOut.size();
      break;
    }
    Drop(client, EKind::kQuiet, {});
    return;
  }
  if (!client->OutPending()) {
    if (client->strOut.capacity() > 0) std::string().swap(client->strOut);
    client->nOutSent = 0;
    client->tOutSince = {};
    WatchOutput(client, false);
    Activate(client);  // groups may wait for this
    return;
  }
  // The client is not reading: the time it takes counts from the last reply
  // it did read.
  if (sent || client->tOutSince == Clock::time_point{}) client->tOutSince = Clock::now();
  if (client->nOutSent >= kReadChunk) {
    client->strOut.erase(0, client->nOutSent);
    client->nOutSent = 0;
  }
  WatchOutput(client, true);
  ArmStallTimer();
}

void CWindowServer::Drop(SClient* client, EKind kind, const QString& text) {
  if (client->bDead) return;
  client->bDead = true;
  if (client->nFd >= 0) {
    ::epoll_ctl(m_nEpollFd, EPOLL_CTL_DEL, client->nFd, nullptr);
    ::close(client->nFd);
  }
  client->nFd = -1;
  // A running request may still read its input from strIn; it is freed when
  // the client is reaped.
  if (!client->bBusy) std::string().swap(client->strIn);
  std::string().swap(client->strOut);
  client->nOutSent = 0;
  if (kind != EKind::kQuiet) {
    ++m_nDrops;
    Report(kind, text);
  }
}

void CWindowServer::CheckStalls() {
  const auto now = Clock::now();
  bool dropped = false;
  for (const auto& owned : m_clients) {
    SClient* client = owned.get();
    if (client->bDead) continue;
    const QString who = QStringLiteral("Dropped a client (pid %1): ").arg(client->peer.nPid);
    const QString seconds = QString::number(double(m_stallTimeout.count()) / 1000.0);
    if (client->OutPending()) {
      if (now - client->tOutSince >= m_stallTimeout) {
        Drop(client, EKind::kUnreadReplies, who + QStringLiteral("its replies were not read for %1 s").arg(seconds));
        dropped = true;
      }
    } else if (client->bBusy || (!client->strIn.empty() && wire::ScanGroup(client->strIn.data(), client->strIn.size())
                                                                 .eScan != wire::EScan::kIncomplete)) {
      // Waiting on this side (its request runs, or its groups wait for a
      // turn): the client's clock does not run.
      client->tInSince = now;
    } else if (client->InPartial() && now - client->tInSince >= m_stallTimeout) {
      Drop(client, EKind::kHalfGroup,
           who + QStringLiteral("half a request did not complete within %1 s").arg(seconds));
      dropped = true;
    }
  }
  if (dropped) ProcessClients();  // frees what the dropped held, or leaves it to the running pass
  bool any = false;
  for (const auto& client : m_clients) any = any || (!client->bDead && (client->OutPending() || client->InPartial()));
  if (!any) m_pStallTimer->stop();
}

void CWindowServer::ArmStallTimer() {
  if (!m_pStallTimer->isActive()) m_pStallTimer->start();
}

void CWindowServer::Reap(bool announce) {
  // Dead clients leave the active list at depth 0 before they are freed.
  std::erase_if(m_active, [](SClient* client) { return client->bDead; });
  // All are freed before the first signal: a slot may run a nested loop that
  // reaps again, and must find none of these left.
  std::vector<quint32> gone;
  std::erase_if(m_clients, [&gone, announce](const std::unique_ptr<SClient>& client) {
    if (!client->bDead) return false;
    if (announce && !client->bSilent) gone.push_back(client->peer.nId);
    return true;
  });
  QPointer<CWindowServer> guard(this);
  for (quint32 id : gone) {
    Q_EMIT PeerGone(id);
    if (!guard) return;  // a slot destroyed the server
  }
}

}  // namespace zef
