// The window-message transport between trace clients and a program that
// serves its windows (the monitor). This header is the one definition of the
// wire format; the client (libzeftrace) and the server (CWindowServer)
// both include it. It is not installed: only those two ends speak it.
//
// A connection is a Unix-domain stream socket in the per-user directory
// (see SocketDirectory). The client writes request frames, the server answers
// every frame with one reply, in order, after the UI thread handled it.
//
//   request: SFrameHeader (32 bytes) + nTextBytes of UTF-16 text
//   reply:   SReplyHeader (16 bytes) + nTextBytes of UTF-16 text
//
// Frames flagged kFlagGroupContinues form a group with the frames that follow
// up to and including the first frame without the flag. The server runs a
// group only once all of it has arrived and runs no other client's frames in
// between, so a hand-over (set buffer, command, reset buffer) is atomic.
// Both ends run on the same machine: integers are in host byte order.
#ifndef ZEFTRACE_WIRE_H
#define ZEFTRACE_WIRE_H

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace zef::wire {

inline constexpr std::uint32_t kMagic = 0x5746455Au;  // "ZEFW"
inline constexpr std::uint16_t kVersion = 1;

enum class EOp : std::uint8_t {
  kFindWindow = 1,   // text: title; reply result: HWND or 0
  kGetFirstChild = 2,  // nWindow; reply result: HWND or 0
  kSendMessage = 3,  // nWindow, nMessage, nWParam, text (WM_SETTEXT); reply text for WM_GETTEXT
};

enum EFrameFlags : std::uint8_t {
  kFlagNone = 0,
  kFlagGroupContinues = 1,
};

enum class EStatus : std::uint32_t {
  kOk = 0,
  kUnsupportedMessage = 1,  // the message is not one the transport carries
};

// Limits the server enforces; a client exceeding them is dropped.
inline constexpr std::uint32_t kMaxTextBytes = 1u << 20;  // 512 Ki UTF-16 units per frame
inline constexpr std::uint32_t kMaxGroupFrames = 8;

struct SFrameHeader {
  std::uint32_t nMagic;
  std::uint16_t nVersion;
  std::uint8_t nOp;     // EOp
  std::uint8_t nFlags;  // EFrameFlags
  std::uint32_t nWindow;
  std::uint32_t nMessage;
  std::uint64_t nWParam;
  std::uint32_t nTextBytes;
  std::uint32_t nReserved;  // 0
};

struct SReplyHeader {
  std::int64_t nResult;
  std::uint32_t nTextBytes;
  std::uint32_t nStatus;  // EStatus
};

static_assert(sizeof(SFrameHeader) == 32 && alignof(SFrameHeader) <= 8);
static_assert(offsetof(SFrameHeader, nWParam) == 16 && offsetof(SFrameHeader, nTextBytes) == 24);
static_assert(sizeof(SReplyHeader) == 16);
static_assert(std::is_trivially_copyable_v<SFrameHeader> && std::is_trivially_copyable_v<SReplyHeader>);

inline SFrameHeader MakeFrame(EOp op, std::uint8_t flags, std::uint32_t window, std::uint32_t message,
                              std::uint64_t wParam, std::size_t textUnits) {
  SFrameHeader h{};
  h.nMagic = kMagic;
  h.nVersion = kVersion;
  h.nOp = static_cast<std::uint8_t>(op);
  h.nFlags = flags;
  h.nWindow = window;
  h.nMessage = message;
  h.nWParam = wParam;
  h.nTextBytes = static_cast<std::uint32_t>(textUnits * sizeof(char16_t));
  return h;
}

// The per-user directory holding one socket per served top-level title:
// $XDG_RUNTIME_DIR/zef, else /tmp/zef-<uid>. It must be a real directory
// owned by this user with no access for others. With `create`, a missing
// directory is made (mode 0700). Returns an empty string and sets *error when
// the directory is missing, foreign or open to others.
inline std::string SocketDirectory(bool create, std::string* error) {
  std::string dir;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    dir = std::string(runtime) + "/zef";
  } else {
    dir = "/tmp/zef-" + std::to_string(static_cast<unsigned long>(::geteuid()));
  }
  if (create && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error) *error = "cannot create " + dir + ": " + std::strerror(errno);
    return {};
  }
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) {
    if (error) *error = dir + ": " + std::strerror(errno);
    return {};
  }
  if (!S_ISDIR(st.st_mode)) {
    if (error) *error = dir + " is not a directory";
    return {};
  }
  if (st.st_uid != ::geteuid()) {
    if (error) *error = dir + " belongs to another user";
    return {};
  }
  if ((st.st_mode & 077) != 0) {
    if (error) *error = dir + " is accessible to other users (mode must be 0700)";
    return {};
  }
  return dir;
}

// The socket file name for a top-level window title: bytes outside
// [A-Za-z0-9._-] of its UTF-8 form are written as %XX, so any title maps to
// one flat name. ".sock" keeps it apart from anything else in the directory.
inline std::string SocketNameForTitle(std::string_view utf8Title) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (unsigned char c : utf8Title) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || (c == '.' && !name.empty());
    if (plain) {
      name += static_cast<char>(c);
    } else {
      name += '%';
      name += kHex[c >> 4];
      name += kHex[c & 15];
    }
  }
  return name + ".sock";
}

}  // namespace zef::wire

#endif
