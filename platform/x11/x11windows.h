// The top-level windows of an X display, through a connection of their own.
//
// The list is the window manager's _NET_CLIENT_LIST when a window manager
// runs (the root's _NET_SUPPORTING_WM_CHECK names a live window that names
// itself) and publishes one, else the root's mapped children, in the
// server's order. A window's title is _NET_WM_NAME when set and not empty,
// else WM_NAME, decoded by its type (UTF8_STRING, COMPOUND_TEXT, else
// Latin-1); its class is the class part of WM_CLASS, however long the
// instance part before it. Both are shown as ShownText shows other
// programs' text. The walk sends every request before it collects the first
// reply, so listing N windows costs a few round trips, not 4 N.
#pragma once

#include "platform/x11/toplevelwindows.h"

#include <string_view>

struct xcb_connection_t;
struct xcb_get_property_reply_t;

namespace zef {

class CX11Windows final : public ITopLevelWindows {
 public:
  // The most windows one walk takes: a root property written by any client
  // cannot make it read without end.
  static constexpr std::uint32_t kMaxWindows = 65536;

  // Connects to `displayName` (null: $DISPLAY). A failed connection makes
  // every call fail with its errno (ECONNREFUSED when no server answered,
  // EINVAL for a display name that does not parse).
  explicit CX11Windows(const char* displayName = nullptr);
  ~CX11Windows() override;
  CX11Windows(const CX11Windows&) = delete;
  CX11Windows& operator=(const CX11Windows&) = delete;

  bool IsConnected() const { return m_nConnectErrno == 0; }

  bool EnumWindows(std::vector<CTopLevelWindow>& windows, int maxUnits) override;
  bool IsWindow(std::uint32_t hWnd) override;
  // WM_DELETE_WINDOW to a window that takes part in it (WM_PROTOCOLS), else
  // _NET_CLOSE_WINDOW through the window manager when one runs. A window
  // that takes part in neither, with no window manager, gets no request:
  // false with ENOTSUP. Returns after a round trip to the server.
  bool CloseWindow(std::uint32_t hWnd) override;

 private:
  struct SAtoms {
    std::uint32_t netClientList = 0;
    std::uint32_t netWmName = 0;
    std::uint32_t utf8String = 0;
    std::uint32_t wmProtocols = 0;
    std::uint32_t wmDeleteWindow = 0;
    std::uint32_t netCloseWindow = 0;
    std::uint32_t netSupportingWmCheck = 0;
    std::uint32_t compoundText = 0;
  };
  // Interned once per connection; an atom no client ever named is 0.
  const SAtoms& Atoms();
  // False, with errno set, when the connection is (or has become) unusable.
  bool Usable();
  bool HasWindowManager();
  // The windows to list; `onlyMapped` when they are the root's children,
  // of which the unmapped ones are left out. False when the connection failed.
  bool ReadWindowList(std::vector<std::uint32_t>& list, bool* onlyMapped);
  // A text property's bytes decoded by its type.
  QString Decode(std::string_view bytes, std::uint32_t type) const;
  // Decoded, made safe to show and cut to `maxUnits`. The reads bound
  // `bytes` to a few KB.
  QString Shown(std::string_view bytes, std::uint32_t type, int maxUnits) const;
  // A class part the first read of WM_CLASS did not hold whole.
  struct SMoreClass;
  // The class of window `index` of the caller's vector from the first read of its
  // WM_CLASS; empty when there is none, or when that read did not hold it
  // whole: the rest is then asked for and queued in `more`.
  QString ClassOf(const xcb_get_property_reply_t* wmClass, std::uint32_t window, std::size_t index, int maxUnits,
                  std::vector<SMoreClass>& more);
  // The classes ClassOf queued, once every first reply is in. False when
  // the connection failed.
  bool ReadMoreClasses(const std::vector<SMoreClass>& more, std::vector<CTopLevelWindow>& windows, int maxUnits);

  xcb_connection_t* m_pConnection = nullptr;
  int m_nConnectErrno = 0;
  std::uint32_t m_nRoot = 0;
  bool m_bAtomsRead = false;
  SAtoms m_atoms;
};

}  // namespace zef
