#include "platform/system/endsignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <unistd.h>

namespace zef {
namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Shared with the handler, hence plain lock-free atomics.
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_received{0};
std::atomic<bool> g_taken{false};
struct sigaction g_previous[std::size(kEndSignals)];

static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnEndSignal(int signalNumber) {
  if (g_received.fetch_add(1) > 0) {
    // The orderly end is under way and did not do: end now. The signal is
    // blocked while its handler runs, so the raised one is delivered, with
    // the default action, as the handler returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signalNumber, &fallback, nullptr);
    ::raise(signalNumber);
    return;
  }
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  // A full pipe cannot happen: only the first signal writes.
  [[maybe_unused]] const ssize_t written = ::write(g_writeFd.load(), &byte, 1);
  errno = savedErrno;
}

}  // namespace

CEndSignals::CEndSignals(QObject* parent) : QObject(parent) {
  if (g_taken.exchange(true)) return;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_taken = false;
    return;
  }
  m_nReadFd = fds[0];
  m_nWriteFd = fds[1];
  g_writeFd = m_nWriteFd;
  g_received = 0;
  m_pNotifier = std::make_unique<QSocketNotifier>(m_nReadFd, QSocketNotifier::Read);
  connect(m_pNotifier.get(), &QSocketNotifier::activated, this, &CEndSignals::OnReadable);

  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
    // A signal ignored from the start stays ignored: whoever started the
    // program asked for it (nohup, a background job of a script).
    ::sigaction(kEndSignals[i], nullptr, &g_previous[i]);
    if (g_previous[i].sa_handler != SIG_IGN) ::sigaction(kEndSignals[i], &action, nullptr);
  }
  m_bWatching = true;
}

CEndSignals::~CEndSignals() {
  if (!m_bWatching) return;
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) ::sigaction(kEndSignals[i], &g_previous[i], nullptr);
  m_pNotifier.reset();
  g_writeFd = -1;
  ::close(m_nWriteFd);
  ::close(m_nReadFd);
  g_taken = false;
}

void CEndSignals::OnReadable() {
  unsigned char byte = 0;
  ssize_t got = 0;
  do {
    got = ::read(m_nReadFd, &byte, 1);
  } while (got < 0 && errno == EINTR);
  if (got != 1) return;
  // The pipe stays quiet from now on: a second signal ends the process in
  // the handler.
  m_pNotifier->setEnabled(false);
  emit EndRequested(int(byte));
}

}  // namespace zef
