// The window-message transport between trace clients and a program that
// serves its windows (the monitor). This header is the one definition of the
// wire format; the client (libzeftrace) and the server (CWindowServer)
// both include it. It is not installed: only those two ends speak it.
//
// A connection is a Unix-domain stream socket in the per-user directory
// (see FindSocketDirectory). The client writes request frames, the server answers
// every frame with one reply, in order, after the UI thread handled it.
//
//   request: SFrameHeader (32 bytes) + nTextBytes of UTF-16 text
//   reply:   SReplyHeader (16 bytes) + nTextBytes of UTF-16 text (the
//            server sends none: it answers no reads)
//
// Frames flagged kFlagGroupContinues form a group with the frames that follow
// up to and including the first frame without the flag. The server runs a
// group only once all of it has arrived and runs no other client's frames in
// between, so a hand-over (set buffer, command, reset buffer) is atomic.
// Both ends run on the same machine: integers are in host byte order.
//
// The server takes from a client only what a trace line needs: the lookups,
// kMsgIdentify, WM_SETTEXT to a window that is not top-level (the buffer) and
// WM_COMMAND 32779 (Entry from Buffer, notification code 0) to a top-level
// window. Any other WM_COMMAND, WM_CLOSE, WM_GETTEXT, and WM_SETTEXT to a
// top-level window are answered kRefused, alone or inside a group, and the
// connection is kept; the rest of a group still runs.
//
// Right after connecting, before any other request, a client says who it is
// with kMsgIdentify (below): the socket's peer credentials name the process
// on the other end, which is a relay rather than the program when the client
// comes through an ssh forward of the socket or from a container.
#ifndef ZEFTRACE_WIRE_H
#define ZEFTRACE_WIRE_H

#include <pwd.h>
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
  kFindWindow = 1,     // text: title; reply result: HWND or 0
  kGetFirstChild = 2,  // nWindow; reply result: HWND or 0
  kSendMessage = 3,    // nWindow, nMessage, nWParam, text (WM_SETTEXT); reply result: the window's answer
};

enum EFrameFlags : std::uint8_t {
  kFlagNone = 0,
  kFlagGroupContinues = 1,
};

// The transport's own messages, in the application range (0x8000-0xBFFF),
// which no window handles.
//
// kMsgIdentify: a kSendMessage frame sent alone (never inside a group) with
// nWindow 0 and the text "host\npid\nprogram" (decimal pid). A server that
// takes it answers kOk, result 1 (0 when the text was not of that form); it
// takes only the first of a connection and answers kRefused to later ones and
// to one inside a group, without dropping the client. A server that does not
// know it answers kUnsupportedMessage, as for any message it does not carry,
// and keeps the connection: clients go on whatever the answer. With nWindow
// other than 0 it is an ordinary message to that window.
inline constexpr std::uint32_t kMsgIdentify = 0xA1D0;
static_assert(kMsgIdentify >= 0x8000 && kMsgIdentify <= 0xBFFF);

enum class EStatus : std::uint32_t {
  kOk = 0,
  kUnsupportedMessage = 1,  // the message is not one the transport carries
  kRefused = 2,             // carried, but not taken from a client (see above), or a second or grouped identify
};

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

// Limits the server enforces; a client exceeding them is dropped. A server
// must be ready to hold one whole group of the largest size for a client.
inline constexpr std::uint32_t kMaxTextBytes = 1u << 20;  // 512 Ki UTF-16 units per frame
inline constexpr std::uint32_t kMaxGroupFrames = 8;
inline constexpr std::size_t kMaxGroupBytes = kMaxGroupFrames * (sizeof(SFrameHeader) + kMaxTextBytes);

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

// What the start of a connection's unhandled input holds: a whole group, the
// beginning of one, or bytes that break the protocol. Looks at no byte past
// `size`, and at no more than one group.
enum class EScan { kIncomplete, kComplete, kInvalid };
enum class EFault { kNone, kNotAFrame, kUnknownRequest, kTextLength, kGroupTooLong };

struct SGroupScan {
  EScan eScan = EScan::kIncomplete;
  std::size_t nEnd = 0;       // kComplete: bytes of the whole group; kIncomplete: bytes it needs at least
  std::uint32_t nFrames = 0;  // kComplete: frames in the group
  EFault eFault = EFault::kNone;
  std::uint32_t nTextBytes = 0;  // kTextLength: the length the frame asked for
};

inline SGroupScan ScanGroup(const char* data, std::size_t size) {
  SGroupScan scan;
  std::size_t pos = 0;
  for (std::uint32_t frames = 1;; ++frames) {
    if (size - pos < sizeof(SFrameHeader)) {
      scan.nEnd = pos + sizeof(SFrameHeader);
      return scan;
    }
    SFrameHeader h;
    std::memcpy(&h, data + pos, sizeof h);
    scan.eScan = EScan::kInvalid;
    if (h.nMagic != kMagic || h.nVersion != kVersion || h.nReserved != 0) {
      scan.eFault = EFault::kNotAFrame;
      return scan;
    }
    if (h.nOp < std::uint8_t(EOp::kFindWindow) || h.nOp > std::uint8_t(EOp::kSendMessage) ||
        (h.nFlags & ~kFlagGroupContinues) != 0) {
      scan.eFault = EFault::kUnknownRequest;
      return scan;
    }
    if (h.nTextBytes > kMaxTextBytes || h.nTextBytes % sizeof(char16_t) != 0) {
      scan.eFault = EFault::kTextLength;
      scan.nTextBytes = h.nTextBytes;
      return scan;
    }
    if (frames > kMaxGroupFrames) {
      scan.eFault = EFault::kGroupTooLong;
      return scan;
    }
    scan.eScan = EScan::kIncomplete;
    pos += sizeof h;
    if (size - pos < h.nTextBytes) {
      scan.nEnd = pos + h.nTextBytes;
      return scan;
    }
    pos += h.nTextBytes;
    if (!(h.nFlags & kFlagGroupContinues)) {
      scan.eScan = EScan::kComplete;
      scan.nEnd = pos;
      scan.nFrames = frames;
      return scan;
    }
  }
}

// Where the per-user socket directory is looked for; FromEnvironment() is
// what both ends use, tests pass places of their own.
struct SSocketPlaces {
  std::string strRuntimeDir;  // $XDG_RUNTIME_DIR when absolute, else empty
  std::string strTmpDir = "/tmp";
  std::string strHomeDir;  // $HOME when absolute, else the password entry's

  static SSocketPlaces FromEnvironment() {
    SSocketPlaces places;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
      places.strRuntimeDir = runtime;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
      places.strHomeDir = home;
    } else {
      char buffer[4096];
      passwd entry{};
      passwd* found = nullptr;
      if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
          found->pw_dir[0] == '/')
        places.strHomeDir = found->pw_dir;
    }
    return places;
  }
};

struct SSocketDirectory {
  std::string strPath;    // empty when there is none to use
  std::string strError;   // why, when strPath is empty
  std::string strNotice;  // set when the home fallback is used: why the usual place was not
};

// Empty when `dir` is a real directory (not a symbolic link) owned by this
// user with no access for others; else what is wrong with it.
inline std::string ProblemWithDirectory(const std::string& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return dir + ": " + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return dir + " is a symbolic link";
  if (!S_ISDIR(st.st_mode)) return dir + " is not a directory";
  if (st.st_uid != ::geteuid()) return dir + " belongs to another user";
  if ((st.st_mode & 077) != 0) return dir + " is accessible to other users (mode must be 0700)";
  return {};
}

// The per-user directory holding one socket per served top-level title:
// $XDG_RUNTIME_DIR/zef; without XDG_RUNTIME_DIR, /tmp/zef-<uid>, unless that
// is not this user's own (another user may create it first in the shared
// /tmp), and then ~/.cache/zef. The server (`create`) makes missing
// directories, mode 0700; a client only looks, by the same rule, so both
// ends agree on the place.
inline SSocketDirectory FindSocketDirectory(const SSocketPlaces& places, bool create) {
  SSocketDirectory result;
  auto usable = [create](const std::string& dir) {
    if (create && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
      return "cannot create " + dir + ": " + std::strerror(errno);
    return ProblemWithDirectory(dir);
  };
  if (!places.strRuntimeDir.empty()) {
    result.strPath = places.strRuntimeDir + "/zef";
    result.strError = usable(result.strPath);
    if (!result.strError.empty()) result.strPath.clear();
    return result;
  }
  const std::string tmp = places.strTmpDir + "/zef-" + std::to_string(static_cast<unsigned long>(::geteuid()));
  const std::string tmpProblem = usable(tmp);
  if (tmpProblem.empty()) {
    result.strPath = tmp;
    return result;
  }
  if (places.strHomeDir.empty()) {
    result.strError = tmpProblem + ", and there is no home directory to use instead";
    return result;
  }
  const std::string cache = places.strHomeDir + "/.cache";
  if (create && ::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) {
    result.strError = tmpProblem + ", and cannot create " + cache + ": " + std::strerror(errno);
    return result;
  }
  const std::string home = cache + "/zef";
  if (const std::string homeProblem = usable(home); !homeProblem.empty()) {
    // A client that finds neither reports the usual place, where a monitor
    // normally is.
    result.strError = create ? tmpProblem + ", and " + homeProblem : tmpProblem;
    return result;
  }
  result.strPath = home;
  result.strNotice = tmpProblem + "; using " + home + " instead";
  return result;
}

// The socket file name for a top-level window title: bytes outside
// [A-Za-z0-9._-] of its UTF-8 form are written as %XX, so any title maps to
// one flat name. ".sock" keeps it apart from anything else in the directory.
inline std::string SocketNameForTitle(std::string_view utf8Title) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (unsigned char c : utf8Title) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '-' || (c == '.' && !name.empty());
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
