#include "client.h"

#include "text.h"

#include <zeftrace/wire.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zef {
namespace {

using Clock = std::chrono::steady_clock;

static_assert(kMaxLineUnits * sizeof(char16_t) == wire::kMaxTextBytes);

void AppendFrame(std::string& out, wire::EOp op, std::uint8_t flags, HWND window, std::uint32_t message, WPARAM wParam,
                 std::u16string_view text) {
  const wire::SFrameHeader h = wire::MakeFrame(op, flags, window, message, wParam, text.size());
  out.append(reinterpret_cast<const char*>(&h), sizeof h);
  out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

// Waits until `fd` is ready for `events` or the deadline passed. A zero
// deadline means no limit (and no wait: the call that follows blocks).
bool WaitReady(int fd, short events, Clock::time_point deadline) {
  if (deadline == Clock::time_point{}) return true;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, int(std::min<long long>(left, 1 << 30)));
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return true;  // let the call itself report the error
  }
}

EExchange WriteAll(int fd, const char* data, size_t size, Clock::time_point deadline) {
  const int flags = MSG_NOSIGNAL | (deadline == Clock::time_point{} ? 0 : MSG_DONTWAIT);
  while (size > 0) {
    if (!WaitReady(fd, POLLOUT, deadline)) return EExchange::kTimedOut;
    const ssize_t n = ::send(fd, data, size, flags);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return EExchange::kLost;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return EExchange::kOk;
}

// Reads exactly `size` bytes through the connection's read-ahead buffer, so
// that the replies of one group usually cost a single recv.
EExchange ReadAll(int fd, std::string& ahead, char* data, size_t size, Clock::time_point deadline) {
  const int flags = deadline == Clock::time_point{} ? 0 : MSG_DONTWAIT;
  while (ahead.size() < size) {
    if (!WaitReady(fd, POLLIN, deadline)) return EExchange::kTimedOut;
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, flags);
    if (n == 0) return EExchange::kLost;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return EExchange::kLost;
    }
    ahead.append(chunk, size_t(n));
  }
  std::memcpy(data, ahead.data(), size);
  ahead.erase(0, size);
  return EExchange::kOk;
}

// What kMsgIdentify tells: "host\npid\nprogram". The program is the name
// it was started by rather than /proc/self/comm, which the kernel cuts to 15
// bytes; comm stands in only when that name is empty.
std::u16string IdentityText() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  std::string program = program_invocation_short_name ? program_invocation_short_name : "";
  if (program.empty()) {
    if (const int fd = ::open("/proc/self/comm", O_RDONLY | O_CLOEXEC); fd >= 0) {
      char comm[64];
      const ssize_t n = ::read(fd, comm, sizeof comm);
      ::close(fd);
      if (n > 0) program.assign(comm, size_t(n));
      if (!program.empty() && program.back() == '\n') program.pop_back();
    }
  }
  return text::Utf8ToUtf16(std::string(host) + '\n' + std::to_string(::getpid()) + '\n' + program);
}

}  // namespace

std::chrono::milliseconds TimeoutFromEnvironment() {
  const char* value = std::getenv("ZEFTRACE_TIMEOUT_MS");
  if (!value || !*value) return std::chrono::milliseconds(0);
  char* end = nullptr;
  errno = 0;
  const long long ms = std::strtoll(value, &end, 10);
  if (errno != 0 || *end != '\0' || ms <= 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(ms);
}

std::u16string_view FitLineToFrame(std::u16string_view line, std::u16string& storage, bool* cut) {
  *cut = line.size() > kMaxLineUnits;
  if (!*cut) return line;
  size_t keep = kMaxLineUnits - 1;
  // Never half a surrogate pair.
  if (line[keep - 1] >= 0xD800 && line[keep - 1] <= 0xDBFF) --keep;
  storage.assign(line.substr(0, keep));
  storage += u'\u2026';
  return storage;
}

void AppendHandOver(std::string& out, HWND monitor, HWND buffer, std::u16string_view line) {
  AppendFrame(out, wire::EOp::kSendMessage, wire::kFlagGroupContinues, buffer, WM_SETTEXT, 0, line);
  AppendFrame(out, wire::EOp::kSendMessage, wire::kFlagGroupContinues, monitor, WM_COMMAND, kEntryFromBufferCommand,
              {});
  AppendFrame(out, wire::EOp::kSendMessage, wire::kFlagNone, buffer, WM_SETTEXT, 0, kBufferMarker);
}

CWindowClient::~CWindowClient() { Close(); }

void CWindowClient::Close() {
  if (m_nFd >= 0) ::close(m_nFd);
  m_nFd = -1;
  m_strReadAhead.clear();
}

bool CWindowClient::Connect(std::u16string_view title, std::string* error) {
  Close();
  const wire::SSocketDirectory dir = wire::FindSocketDirectory(wire::SSocketPlaces::FromEnvironment(), false);
  if (dir.strPath.empty()) {
    if (error) *error = dir.strError;
    return false;
  }
  const std::string path = dir.strPath + "/" + wire::SocketNameForTitle(text::Utf16ToUtf8(title));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    if (error) *error = "socket path too long: " + path;
    return false;
  }
  path.copy(address.sun_path, path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error) *error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  // Trace lines may carry anything the program knows: hand them only to a
  // server running as this very user.
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
    if (error) *error = path + ": served by another user";
    ::close(fd);
    return false;
  }
  m_nFd = fd;
  m_eLast = EExchange::kOk;
  // Whatever the server answers (an older one does not know the message),
  // the connection serves; only one that breaks or times out does not.
  std::string request;
  AppendFrame(request, wire::EOp::kSendMessage, wire::kFlagNone, 0, wire::kMsgIdentify, 0, IdentityText());
  if (Transact(request, 1, nullptr, nullptr) != EExchange::kOk) {
    if (error) {
      *error = path + (m_eLast == EExchange::kTimedOut ? ": no answer within the timeout"
                                                       : ": the server closed the connection");
    }
    return false;
  }
  return true;
}

EExchange CWindowClient::Transact(const std::string& request, int frames, LRESULT* result, std::u16string* textOut) {
  if (m_nFd < 0) return m_eLast = EExchange::kLost;
  const Clock::time_point deadline = m_timeout.count() > 0 ? Clock::now() + m_timeout : Clock::time_point{};
  EExchange outcome = WriteAll(m_nFd, request.data(), request.size(), deadline);
  for (int i = 0; i < frames && outcome == EExchange::kOk; ++i) {
    wire::SReplyHeader reply{};
    outcome = ReadAll(m_nFd, m_strReadAhead, reinterpret_cast<char*>(&reply), sizeof reply, deadline);
    if (outcome != EExchange::kOk) break;
    if (reply.nTextBytes > wire::kMaxTextBytes || reply.nTextBytes % sizeof(char16_t) != 0) {
      outcome = EExchange::kLost;
      break;
    }
    std::u16string text(reply.nTextBytes / sizeof(char16_t), u'\0');
    outcome = ReadAll(m_nFd, m_strReadAhead, reinterpret_cast<char*>(text.data()), reply.nTextBytes, deadline);
    if (outcome == EExchange::kOk && i == frames - 1) {
      if (result) *result = static_cast<LRESULT>(reply.nResult);
      if (textOut) *textOut = std::move(text);
    }
  }
  // After a failure the replies are out of step with the requests: the
  // connection is of no further use.
  if (outcome != EExchange::kOk) Close();
  return m_eLast = outcome;
}

HWND CWindowClient::FindWindow(std::u16string_view title) {
  std::string request;
  AppendFrame(request, wire::EOp::kFindWindow, wire::kFlagNone, 0, 0, 0, title);
  LRESULT result = 0;
  return Transact(request, 1, &result, nullptr) == EExchange::kOk ? static_cast<HWND>(result) : 0;
}

HWND CWindowClient::GetFirstChild(HWND window) {
  std::string request;
  AppendFrame(request, wire::EOp::kGetFirstChild, wire::kFlagNone, window, 0, 0, {});
  LRESULT result = 0;
  return Transact(request, 1, &result, nullptr) == EExchange::kOk ? static_cast<HWND>(result) : 0;
}

LRESULT CWindowClient::SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                                   std::u16string* textOut) {
  std::string request;
  AppendFrame(request, wire::EOp::kSendMessage, wire::kFlagNone, window, message, wParam, text);
  LRESULT result = 0;
  return Transact(request, 1, &result, textOut) == EExchange::kOk ? result : 0;
}

EExchange CWindowClient::HandOver(HWND monitor, HWND buffer, std::u16string_view line, bool* cut) {
  std::u16string storage;
  line = FitLineToFrame(line, storage, cut);
  std::string request;
  request.reserve(3 * sizeof(wire::SFrameHeader) + (line.size() + 16) * sizeof(char16_t));
  AppendHandOver(request, monitor, buffer, line);
  return Transact(request, 3, nullptr, nullptr);
}

CHandOverPipeline::CHandOverPipeline(CWindowClient& client, HWND monitor, HWND buffer)
    : m_client(client), m_hMonitor(monitor), m_hBuffer(buffer), m_strIn(client.TakeReadAhead()) {
  if (client.Fd() < 0) {
    m_bFailed = true;
    return;
  }
  const int flags = ::fcntl(client.Fd(), F_GETFL);
  if (flags < 0 || ::fcntl(client.Fd(), F_SETFL, flags | O_NONBLOCK) != 0) m_bFailed = true;
}

void CHandOverPipeline::Queue(std::u16string_view line, bool* cut) {
  *cut = false;
  if (m_bFailed) return;
  line = FitLineToFrame(line, m_strFitted, cut);
  if (m_nSent > 0 && m_nSent >= m_strOut.size() / 2) {
    m_strOut.erase(0, m_nSent);
    m_nSent = 0;
  }
  AppendHandOver(m_strOut, m_hMonitor, m_hBuffer, line);
  ++m_nQueued;
}

short CHandOverPipeline::Events() const {
  if (m_bFailed) return 0;
  return short((UnsentBytes() > 0 ? POLLOUT : 0) | (InFlight() > 0 ? POLLIN : 0));
}

void CHandOverPipeline::Fail() {
  m_bFailed = true;
  m_client.Close();
}

void CHandOverPipeline::Pump(short revents) {
  if (m_bFailed) return;
  (void)revents;  // every call tries both ways; the socket says what it can take
  if (!TakeReplies()) return;
  while (UnsentBytes() > 0) {
    const ssize_t n = ::send(Fd(), m_strOut.data() + m_nSent, UnsentBytes(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      m_nSent += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // The server went away: the replies it sent before still count.
    TakeReplies();
    Fail();
    return;
  }
  if (UnsentBytes() == 0 && m_strOut.capacity() > (1u << 20)) {
    std::string().swap(m_strOut);
    m_nSent = 0;
  } else if (UnsentBytes() == 0) {
    m_strOut.clear();
    m_nSent = 0;
  }
}

bool CHandOverPipeline::TakeReplies() {
  // Replies: 16-byte headers, with text only for WM_GETTEXT, which a
  // hand-over does not send; anything else is a broken server.
  for (;;) {
    char chunk[64 * 1024];
    const ssize_t n = ::recv(Fd(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) {
      Fail();
      return false;
    }
    m_strIn.append(chunk, size_t(n));
    size_t pos = 0;
    while (m_strIn.size() - pos >= sizeof(wire::SReplyHeader)) {
      wire::SReplyHeader reply;
      std::memcpy(&reply, m_strIn.data() + pos, sizeof reply);
      if (reply.nTextBytes != 0 || m_nReplies >= 3 * m_nQueued) {
        Fail();
        return false;
      }
      pos += sizeof reply;
      ++m_nReplies;
    }
    m_strIn.erase(0, pos);
    m_nConfirmed = m_nReplies / 3;
    if (size_t(n) < sizeof chunk) return true;
  }
}

}  // namespace zef
