// The window server's connections: accepting them, passes over those with
// work, reading, sending, stalls, and freeing the ones that ended. Their
// groups of frames run in requests.cpp.
#include "platform/window/windowserver.h"

#include "platform/window/connection.h"
#include "platform/window/window.h"

#include <zeftrace/wire.h>

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zef {
namespace {

using Clock = SConnection::Clock;
using EState = SConnection::EState;

// One read takes at most this much; a group larger than that is read on
// only as far as it goes.
constexpr size_t kReadChunk = 64 * 1024;
// Input held beyond one read chunk, for all clients together, while large
// groups arrive; a client that would need more waits for its turn.
constexpr size_t kLargeGroupBudget = 64 * 1024 * 1024;
// A pass over the clients works about this long, then lets the event loop
// paint and take input before it goes on.
constexpr auto kSlice = std::chrono::milliseconds(8);

// Enough descriptors for kMaxClients connections and the program's own files.
void RaiseOpenFileLimit() {
  constexpr rlim_t kWanted = CWindowServer::kMaxClients + 1024;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kWanted) return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

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

QString CWindowServer::SocketPath() const { return QString::fromStdString(m_listener.Path()); }

int CWindowServer::ClientCount() const {
  int count = 0;
  for (const auto& client : m_clients) count += client->Gone() ? 0 : 1;
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

EListenError CWindowServer::Listen(const QString& title, QString* errorText) {
  Close();
  QString notice;
  if (const EListenError error = m_listener.Listen(title, errorText, &notice); error != EListenError::kNone)
    return error;
  RaiseOpenFileLimit();
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event listenEvent{};
  listenEvent.events = EPOLLIN;  // level-triggered: connections left waiting are reported again
  listenEvent.data.ptr = nullptr;
  if (epoll < 0 || ::epoll_ctl(epoll, EPOLL_CTL_ADD, m_listener.Fd(), &listenEvent) != 0) {
    const int error = errno;
    if (epoll >= 0) ::close(epoll);
    if (errorText) *errorText = QStringLiteral("Cannot listen on %1: %2").arg(SocketPath(), ErrnoText(error));
    m_listener.Close();
    return EListenError::kFailed;
  }
  m_nEpollFd = epoll;
  m_pNotifier = new QSocketNotifier(epoll, QSocketNotifier::Read, this);
  connect(m_pNotifier, &QSocketNotifier::activated, this, &CWindowServer::OnEpoll);
  if (!notice.isEmpty()) Report(EKind::kDirectory, notice);
  return EListenError::kNone;
}

void CWindowServer::Close() {
  // Every connection ends without PeerGone, those already dropped too.
  for (auto& client : m_clients) {
    if (client->Gone()) client->eState = EState::kClosed;
    else client->CloseSocket(m_nEpollFd, EState::kClosed);
  }
  if (m_nDepth == 0) Reap(false);
  m_pContinue->stop();
  m_pStallTimer->stop();
  if (m_pNotifier) {
    m_pNotifier->setEnabled(false);
    m_pNotifier->deleteLater();  // its signal may be the one running
    m_pNotifier = nullptr;
  }
  if (m_nEpollFd >= 0) ::close(m_nEpollFd);
  m_nEpollFd = -1;
  m_listener.Close();
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
      auto* client = static_cast<SConnection*>(events[i].data.ptr);
      if (!client) {
        accept = true;
        continue;
      }
      if (client->Gone()) continue;
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
  for (int batch = 0; batch < 64 && m_listener.IsListening(); ++batch) {
    const CListener::SAccepted taken = m_listener.Accept();
    if (taken.nNoFd != 0) {
      Report(EKind::kNoDescriptor, QStringLiteral("Refused a client (pid %1): %2 (%3 connections open)")
                                       .arg(taken.cred.pid)
                                       .arg(ErrnoText(taken.nNoFd))
                                       .arg(ClientCount()));
      if (!taken.bTurnedAway) return;
      continue;
    }
    if (taken.nFd < 0) return;  // EAGAIN, or an error the next activation retries
    AddClient(taken);
  }
}

void CWindowServer::AddClient(const CListener::SAccepted& taken) {
  const ucred& peer = taken.cred;
  if (!taken.bCred || peer.uid != ::geteuid()) {
    ::close(taken.nFd);
    Report(EKind::kOtherUser, QStringLiteral("Refused a client of user %1 (pid %2)").arg(peer.uid).arg(peer.pid));
    return;
  }
  if (size_t(ClientCount()) >= kMaxClients) {
    ::close(taken.nFd);
    Report(EKind::kTooManyClients,
           QStringLiteral("Refused a client (pid %1): %2 connections are open").arg(peer.pid).arg(kMaxClients));
    return;
  }
  auto client = std::make_unique<SConnection>();
  client->nFd = taken.nFd;
  // Ids wrap only after nearly 2^32 connections, below the sources' ids;
  // 0 stays "no peer".
  if (++m_nLastPeerId >= kFirstSourceId) m_nLastPeerId = 1;
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
  if (::epoll_ctl(m_nEpollFd, EPOLL_CTL_ADD, taken.nFd, &event) != 0) {
    ::close(taken.nFd);
    return;
  }
  Activate(client.get());
  m_clients.push_back(std::move(client));
}

char* CWindowServer::Scratch() {
  const size_t level = size_t(m_nDepth - 1);
  while (m_scratch.size() <= level) m_scratch.push_back(std::make_unique<char[]>(kReadChunk));
  return m_scratch[level].get();
}

void CWindowServer::Activate(SConnection* client) {
  if (client->bListed) return;
  client->bListed = true;
  m_active.push_back(client);
}

bool CWindowServer::NeedsService(const SConnection& client) {
  if (client.Gone()) return false;
  if (client.bReadable || client.bRunning || client.eState == EState::kInputEnded) return true;
  // Groups that wait for their replies to be read come back with EPOLLOUT;
  // complete ones that wait for a turn stay listed.
  return !client.OutPending() && client.HasGroup();
}

void CWindowServer::ProcessClients() {
  if (m_nExclusive > 0 || !m_listener.IsListening()) return;  // a group is running: nothing may come between its frames
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
    std::erase_if(m_active, [](SConnection* client) {
      if (NeedsService(*client)) return false;
      client->bListed = false;
      return true;
    });
    Reap(true);
  }
}

CWindowServer::EServe CWindowServer::Serve(SConnection* client) {
  if (client->Gone() || client->bRunning || client->OutPending() || client->nFd < 0) return EServe::kIdle;
  bool progress = false;
  // Groups left from an earlier read run before anything more is read.
  if (client->HasGroup()) {
    const EServe held = RunHeld(client);
    if (held == EServe::kGone || client->Gone()) return held;
    progress = held == EServe::kProgress;
    if (client->HasGroup()) return held;  // waits for its replies to be read, or for a turn
  }
  if (!client->bReadable) {
    if (client->eState == EState::kInputEnded) {
      // Gone, maybe mid-line: a half group never runs.
      Drop(client, EKind::kQuiet, {});
      return EServe::kProgress;
    }
    return progress ? EServe::kProgress : EServe::kIdle;
  }
  size_t got = 0;
  if (!(client->strIn.empty() ? ReadFresh(client, &got) : ReadRest(client, &got))) return EServe::kGone;
  // Whole groups already received still run (above, or once their replies
  // are read); only a half group is left behind.
  if (client->eState == EState::kInputEnded && !client->bReadable && client->ScanIn() != wire::EScan::kComplete)
    Drop(client, EKind::kQuiet, {});
  return got > 0 || client->Gone() || progress ? EServe::kProgress : EServe::kIdle;
}

CWindowServer::EServe CWindowServer::RunHeld(SConnection* client) {
  const size_t used = RunGroups(client, client->strIn.data(), client->strIn.size());
  if (used == std::string::npos) return EServe::kGone;
  if (client->Gone()) return EServe::kProgress;
  client->strIn.erase(0, used);
  if (client->strIn.empty()) std::string().swap(client->strIn);
  return used > 0 ? EServe::kProgress : EServe::kIdle;
}

bool CWindowServer::ReadFresh(SConnection* client, size_t* got) {
  char* scratch = Scratch();
  if (!client->Read(scratch, kReadChunk, got)) return true;
  const size_t used = RunGroups(client, scratch, *got);
  if (used == std::string::npos) return false;
  if (!client->Gone() && used < *got) {
    client->strIn.assign(scratch + used, *got - used);
    client->tInSince = Clock::now();
    ArmStallTimer();
  }
  return true;
}

bool CWindowServer::ReadRest(SConnection* client, size_t* got) {
  // The rest of a group: read what it needs, in chunks; beyond one chunk
  // only while the server's budget for large groups allows.
  std::string& in = client->strIn;
  const size_t have = in.size();
  size_t want = std::max(wire::ScanGroup(in.data(), have).nEnd, have + 1) - have;
  want = std::min(std::max(want, kReadChunk - std::min(have, kReadChunk)), kReadChunk);
  if (have + want > kReadChunk && LargeInputHeld() + want > kLargeGroupBudget) return true;
  in.resize(have + want);
  client->Read(in.data() + have, want, got);
  in.resize(have + *got);
  if (*got == 0) return true;
  const size_t used = RunGroups(client, in.data(), in.size());
  if (used == std::string::npos) return false;
  if (!client->Gone()) {
    in.erase(0, used);
    if (used > 0) client->tInSince = Clock::now();
    if (in.empty()) std::string().swap(in);
  }
  return true;
}

size_t CWindowServer::LargeInputHeld() const {
  size_t held = 0;
  for (const auto& other : m_clients)
    if (other->strIn.size() > kReadChunk) held += other->strIn.size() - kReadChunk;
  return held;
}

void CWindowServer::Flush(SConnection* client) {
  if (client->Gone()) return;
  bool sent = false;
  switch (client->Send(&sent)) {
    case SConnection::ESent::kAll:
    case SConnection::ESent::kSome:
      break;
    case SConnection::ESent::kNoReader:
      // The client reads no more: it died, perhaps with whole groups still
      // in the socket. Those run (its last lines are the ones that tell why
      // it died); replies go nowhere, and its input's end drops it.
      client->nOutSent = client->strOut.size();
      client->WatchOutput(m_nEpollFd, false);
      client->eOutput = SConnection::EOutput::kNoReader;
      break;
    case SConnection::ESent::kFailed:
      Drop(client, EKind::kQuiet, {});
      return;
  }
  if (!client->OutPending()) {
    if (client->strOut.capacity() > 0) std::string().swap(client->strOut);
    client->nOutSent = 0;
    client->tOutSince = {};
    client->WatchOutput(m_nEpollFd, false);
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
  client->WatchOutput(m_nEpollFd, true);
  ArmStallTimer();
}

void CWindowServer::Drop(SConnection* client, EKind kind, const QString& text) {
  if (client->Gone()) return;
  client->CloseSocket(m_nEpollFd, EState::kDropped);
  if (kind != EKind::kQuiet) {
    ++m_nDrops;
    Report(kind, text);
  }
}

void CWindowServer::CheckStalls() {
  const auto now = Clock::now();
  bool dropped = false;
  for (const auto& owned : m_clients) {
    SConnection* client = owned.get();
    if (client->Gone()) continue;
    const QString who = QStringLiteral("Dropped a client (pid %1): ").arg(client->peer.nPid);
    const QString seconds = QString::number(double(m_stallTimeout.count()) / 1000.0);
    if (client->OutPending()) {
      if (now - client->tOutSince >= m_stallTimeout) {
        Drop(client, EKind::kUnreadReplies, who + QStringLiteral("its replies were not read for %1 s").arg(seconds));
        dropped = true;
      }
    } else if (client->bRunning || client->HasGroup()) {
      // Waiting on this side (its request runs, or its groups wait for a
      // turn): the client's clock does not run.
      client->tInSince = now;
    } else if (client->InPartial() && now - client->tInSince >= m_stallTimeout) {
      Drop(client, EKind::kHalfGroup, who + QStringLiteral("half a request did not complete within %1 s").arg(seconds));
      dropped = true;
    }
  }
  if (dropped) ProcessClients();  // frees what the dropped held, or leaves it to the running pass
  bool any = false;
  for (const auto& client : m_clients) any = any || (!client->Gone() && (client->OutPending() || client->InPartial()));
  if (!any) m_pStallTimer->stop();
}

void CWindowServer::ArmStallTimer() {
  if (!m_pStallTimer->isActive()) m_pStallTimer->start();
}

void CWindowServer::Reap(bool announce) {
  // Dead clients leave the active list at depth 0 before they are freed.
  std::erase_if(m_active, [](SConnection* client) { return client->Gone(); });
  // All are freed before the first signal: a slot may run a nested loop that
  // reaps again, and must find none of these left.
  std::vector<quint32> gone;
  std::erase_if(m_clients, [&gone, announce](const std::unique_ptr<SConnection>& client) {
    if (!client->Gone()) return false;
    if (announce && client->eState == EState::kDropped) gone.push_back(client->peer.nId);
    return true;
  });
  QPointer<CWindowServer> guard(this);
  for (quint32 id : gone) {
    Q_EMIT PeerGone(id);
    if (!guard) return;  // a slot destroyed the server
  }
}

}  // namespace zef
