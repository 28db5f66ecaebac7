#include "errout.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace zef::errout {
namespace {

std::atomic<bool> g_bGone{false};

// SIGPIPE is blocked for this thread only while the write runs. A SIGPIPE
// that the write raised is then pending for the thread and is taken back
// before the old mask returns, unless one was pending already (the host's
// own, which stays).
class CNoSigPipe {
 public:
  CNoSigPipe() {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    if (sigismember(&m_old, SIGPIPE) == 1) {
      sigset_t pending;
      sigemptyset(&pending);
      m_bWasPending = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    }
  }
  ~CNoSigPipe() { ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
  CNoSigPipe(const CNoSigPipe&) = delete;
  CNoSigPipe& operator=(const CNoSigPipe&) = delete;

  void TakeBackRaised() {
    if (m_bWasPending) return;
    const timespec zero{};
    while (::sigtimedwait(&m_pipe, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }

 private:
  sigset_t m_pipe;
  sigset_t m_old;
  bool m_bWasPending = false;
};

}  // namespace

bool Write(std::string_view bytes) {
  if (g_bGone.load(std::memory_order_relaxed)) return false;
  const int savedErrno = errno;  // the host may be about to read its own errno
  CNoSigPipe guard;
  const char* data = bytes.data();
  size_t size = bytes.size();
  bool ok = true;
  while (size > 0) {
    const ssize_t n = ::write(STDERR_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) {
      guard.TakeBackRaised();
      g_bGone.store(true, std::memory_order_relaxed);
      ok = false;
      break;
    }
    if (n <= 0) {
      ok = false;  // a closed or full descriptor: this line is lost, later ones are tried
      break;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  errno = savedErrno;
  return ok;
}

bool Gone() { return g_bGone.load(std::memory_order_relaxed); }

}  // namespace zef::errout
