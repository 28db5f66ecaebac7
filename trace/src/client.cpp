#include "client.h"

#include "text.h"

#include <zeftrace/wire.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zef {
namespace {

void AppendFrame(std::string& out, wire::EOp op, std::uint8_t flags, HWND window, std::uint32_t message,
                 WPARAM wParam, std::u16string_view text) {
  const wire::SFrameHeader h = wire::MakeFrame(op, flags, window, message, wParam, text.size());
  out.append(reinterpret_cast<const char*>(&h), sizeof h);
  out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads exactly `size` bytes through the connection's read-ahead buffer, so
// that the replies of one group usually cost a single recv.
bool ReadAll(int fd, std::string& ahead, char* data, size_t size) {
  while (ahead.size() < size) {
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    ahead.append(chunk, size_t(n));
  }
  std::memcpy(data, ahead.data(), size);
  ahead.erase(0, size);
  return true;
}

}  // namespace

CWindowClient::~CWindowClient() { Close(); }

void CWindowClient::Close() {
  if (m_nFd >= 0) ::close(m_nFd);
  m_nFd = -1;
  m_strReadAhead.clear();
}

bool CWindowClient::Connect(std::u16string_view title, std::string* error) {
  Close();
  const std::string dir = wire::SocketDirectory(false, error);
  if (dir.empty()) return false;
  const std::string path = dir + "/" + wire::SocketNameForTitle(text::Utf16ToUtf8(title));
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
  return true;
}

bool CWindowClient::Transact(const std::string& request, int frames, LRESULT* result, std::u16string* textOut) {
  if (m_nFd < 0) return false;
  if (!WriteAll(m_nFd, request.data(), request.size())) {
    Close();
    return false;
  }
  for (int i = 0; i < frames; ++i) {
    wire::SReplyHeader reply{};
    if (!ReadAll(m_nFd, m_strReadAhead, reinterpret_cast<char*>(&reply), sizeof reply) || reply.nTextBytes > wire::kMaxTextBytes ||
        reply.nTextBytes % sizeof(char16_t) != 0) {
      Close();
      return false;
    }
    std::u16string text(reply.nTextBytes / sizeof(char16_t), u'\0');
    if (!ReadAll(m_nFd, m_strReadAhead, reinterpret_cast<char*>(text.data()), reply.nTextBytes)) {
      Close();
      return false;
    }
    if (i == frames - 1) {
      if (result) *result = static_cast<LRESULT>(reply.nResult);
      if (textOut) *textOut = std::move(text);
    }
  }
  return true;
}

HWND CWindowClient::FindWindow(std::u16string_view title) {
  std::string request;
  AppendFrame(request, wire::EOp::kFindWindow, wire::kFlagNone, 0, 0, 0, title);
  LRESULT result = 0;
  return Transact(request, 1, &result, nullptr) ? static_cast<HWND>(result) : 0;
}

HWND CWindowClient::GetFirstChild(HWND window) {
  std::string request;
  AppendFrame(request, wire::EOp::kGetFirstChild, wire::kFlagNone, window, 0, 0, {});
  LRESULT result = 0;
  return Transact(request, 1, &result, nullptr) ? static_cast<HWND>(result) : 0;
}

LRESULT CWindowClient::SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                                   std::u16string* textOut) {
  std::string request;
  AppendFrame(request, wire::EOp::kSendMessage, wire::kFlagNone, window, message, wParam, text);
  LRESULT result = 0;
  return Transact(request, 1, &result, textOut) ? result : 0;
}

bool CWindowClient::HandOver(HWND monitor, HWND buffer, std::u16string_view line) {
  // A line longer than a frame may carry is cut, not dropped.
  if (line.size() * sizeof(char16_t) > wire::kMaxTextBytes) line = line.substr(0, wire::kMaxTextBytes / 2);
  std::string request;
  request.reserve(3 * sizeof(wire::SFrameHeader) + (line.size() + 16) * sizeof(char16_t));
  AppendFrame(request, wire::EOp::kSendMessage, wire::kFlagGroupContinues, buffer, WM_SETTEXT, 0, line);
  AppendFrame(request, wire::EOp::kSendMessage, wire::kFlagGroupContinues, monitor, WM_COMMAND,
              kEntryFromBufferCommand, {});
  AppendFrame(request, wire::EOp::kSendMessage, wire::kFlagNone, buffer, WM_SETTEXT, 0, kBufferMarker);
  return Transact(request, 3, nullptr, nullptr);
}

}  // namespace zef
