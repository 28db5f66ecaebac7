#include "platform/window/connection.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace zef {

bool SConnection::Read(char* data, size_t size, size_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t n = ::recv(nFd, data, size, 0);
    if (n > 0) {
      *got = size_t(n);
      // A short read emptied the socket and new input brings a new edge;
      // only the end of the stream may still wait behind it.
      if (size_t(n) < size && !bHangUp) bReadable = false;
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    bReadable = false;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    if (eState == EState::kOpen) eState = EState::kInputEnded;  // end of stream or a reset
    return false;
  }
}

SConnection::ESent SConnection::Send(bool* sent) {
  *sent = false;
  while (OutPending()) {
    const ssize_t n = ::send(nFd, strOut.data() + nOutSent, strOut.size() - nOutSent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      nOutSent += size_t(n);
      *sent = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ESent::kSome;
    if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) return ESent::kNoReader;
    return ESent::kFailed;
  }
  return ESent::kAll;
}

void SConnection::WatchOutput(int epollFd, bool watch) {
  if ((eOutput == EOutput::kWaiting) == watch || nFd < 0) return;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET | (watch ? std::uint32_t(EPOLLOUT) : 0u);
  event.data.ptr = this;
  ::epoll_ctl(epollFd, EPOLL_CTL_MOD, nFd, &event);
  eOutput = watch ? EOutput::kWaiting : EOutput::kFlowing;
}

void SConnection::CloseSocket(int epollFd, EState end) {
  eState = end;
  if (nFd >= 0) {
    ::epoll_ctl(epollFd, EPOLL_CTL_DEL, nFd, nullptr);
    ::close(nFd);
  }
  nFd = -1;
  // A running request may still read its input from strIn; it is freed when
  // the connection is freed.
  if (!bRunning) std::string().swap(strIn);
  std::string().swap(strOut);
  nOutSent = 0;
}

}  // namespace zef
