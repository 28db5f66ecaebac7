// Window addressing shared by trace clients and by programs that own
// addressable windows (the monitor).
//
// A program that owns windows registers an IWindowHost with
// SetLocalWindowHost(); from then on every trace call made inside that
// program reaches its windows by a direct call on its own UI thread instead of
// through the socket transport. Qt-free, C++17.
#ifndef ZEFTRACE_WINDOWHOST_H
#define ZEFTRACE_WINDOWHOST_H

#include <cstdint>
#include <string>
#include <string_view>

#include <zeftrace/export.h>

namespace zef {

// 0 is "no window". Handles are only meaningful to the host that issued them.
using HWND = std::uint32_t;
using WPARAM = std::uintptr_t;
using LRESULT = std::intptr_t;

enum : std::uint32_t {
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_CLOSE = 0x0010,
  WM_COMMAND = 0x0111,
};

enum : std::uint32_t { GW_CHILD = 5 };

// The monitor's "Entry from Buffer" command and the buffer protocol.
inline constexpr std::uint32_t kEntryFromBufferCommand = 32779;
inline constexpr char16_t kMonitorTitle[] = u"ZEF";
inline constexpr char16_t kBufferMarker[] = u"{QRBDBGLOG}";

class ZEFTRACE_API IWindowHost {
 public:
  virtual ~IWindowHost() = default;
  // The top-level window whose title is exactly `title`, or 0.
  virtual HWND FindWindow(std::u16string_view title) = 0;
  // The first child created of `window`, or 0.
  virtual HWND GetFirstChild(HWND window) = 0;
  // Delivers one message and returns after it was handled. `text` is the
  // lParam string of WM_SETTEXT; for WM_GETTEXT the window's text is stored
  // in *textOut (when given). Returns 0 for a window that does not exist.
  virtual LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                              std::u16string* textOut) = 0;
};

// Registers the windows of this very process. Trace calls made in the process
// then reach these windows directly (a direct call on the caller's thread,
// which must be the UI thread) instead of through the socket transport.
// Pass nullptr to unregister. Exported by the zeftrace library.
ZEFTRACE_API void SetLocalWindowHost(IWindowHost* host);
ZEFTRACE_API IWindowHost* GetLocalWindowHost();

}  // namespace zef

#endif
