// A relay standing in for an ssh forward of the monitor's socket: listens on
// one Unix socket and, for each connection, opens one to the real monitor
// socket and copies bytes both ways until both directions have ended, as sshd
// and ssh do between the remote socket and the local one. The monitor then
// sees this process as its peer.
//
//   zef_trace_relay <socket to listen on> <monitor socket>
//   stdout: "READY" once listening; it ends when its standard input does.
//
// The end of one direction is passed on as a shutdown of writing, so a
// client that ends still has everything it sent run before the monitor sees
// the connection end.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeld = 256 * 1024;  // per direction; reading waits while this much is unsent

bool Address(const std::string& path, sockaddr_un* address) {
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  path.copy(address->sun_path, path.size());
  return true;
}

struct SDirection {
  int nFrom = -1;
  int nTo = -1;
  std::string strHeld;
  bool bEnded = false;    // nothing more will come from nFrom
  bool bDone = false;     // ended and passed on (or the receiver is gone)
  bool bDiscard = false;  // the receiver is gone: what comes is read and dropped

  bool WantsRead() const { return !bEnded && strHeld.size() < kHeld; }
  bool WantsWrite() const { return !strHeld.empty() && !bDiscard; }

  void Read() {
    char chunk[64 * 1024];
    const ssize_t n = ::recv(nFrom, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      bEnded = true;
    } else if (!bDiscard) {
      strHeld.append(chunk, size_t(n));
    }
    Settle();
  }

  void Write() {
    const ssize_t n = ::send(nTo, strHeld.data(), strHeld.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      strHeld.erase(0, size_t(n));
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      bDiscard = true;
      strHeld.clear();
    }
    Settle();
  }

  void Settle() {
    if (bDone || !bEnded || (!strHeld.empty() && !bDiscard)) return;
    ::shutdown(nTo, SHUT_WR);
    bDone = true;
  }
};

struct SPair {
  SDirection toMonitor;
  SDirection toClient;
  ~SPair() {
    ::close(toMonitor.nFrom);
    ::close(toMonitor.nTo);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zef_trace_relay <socket to listen on> <monitor socket>\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  sockaddr_un listenAddress{}, monitorAddress{};
  if (!Address(argv[1], &listenAddress) || !Address(argv[2], &monitorAddress)) {
    std::fprintf(stderr, "zef_trace_relay: socket path too long\n");
    return 2;
  }
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ::unlink(argv[1]);
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&listenAddress), sizeof listenAddress) != 0 ||
      ::listen(listener, 64) != 0) {
    std::fprintf(stderr, "zef_trace_relay: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::printf("READY\n");
  std::fflush(stdout);

  std::vector<std::unique_ptr<SPair>> pairs;
  for (;;) {
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}, {listener, POLLIN, 0}};
    for (const auto& pair : pairs) {
      // A descriptor not waited on is left out (-1): a hang-up on it would
      // wake poll at once, again and again.
      for (const SDirection* d : {&pair->toMonitor, &pair->toClient}) {
        fds.push_back({d->WantsRead() ? d->nFrom : -1, POLLIN, 0});
        fds.push_back({d->WantsWrite() ? d->nTo : -1, POLLOUT, 0});
      }
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents) {
      char ignored[256];
      if (::read(STDIN_FILENO, ignored, sizeof ignored) <= 0) return 0;
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
      SDirection* directions[] = {&pairs[i]->toMonitor, &pairs[i]->toClient};
      for (size_t k = 0; k < 2; ++k) {
        const pollfd& from = fds[2 + i * 4 + k * 2];
        const pollfd& to = fds[2 + i * 4 + k * 2 + 1];
        if (from.revents) directions[k]->Read();
        if (to.revents) directions[k]->Write();
      }
    }
    std::erase_if(pairs, [](const auto& pair) { return pair->toMonitor.bDone && pair->toClient.bDone; });
    if (fds[1].revents & POLLIN) {
      const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const int monitor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (::connect(monitor, reinterpret_cast<const sockaddr*>(&monitorAddress), sizeof monitorAddress) != 0) {
        ::close(client);
        ::close(monitor);
        continue;
      }
      auto pair = std::make_unique<SPair>();
      pair->toMonitor.nFrom = pair->toClient.nTo = client;
      pair->toMonitor.nTo = pair->toClient.nFrom = monitor;
      pairs.push_back(std::move(pair));
    }
  }
}
