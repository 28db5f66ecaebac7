// The top-level windows of an X display, through a connection of their own.
//
// The list is the window manager's _NET_CLIENT_LIST when the root window
// has one, else the root's mapped children, in the server's order. A
// window's title is _NET_WM_NAME (UTF-8) when set and not empty, else
// WM_NAME (Latin-1 unless typed UTF8_STRING); its class is the class part of
// WM_CLASS. The walk sends every request before it collects the first reply,
// so listing N windows costs a few round trips, not 4 N.
#pragma once

#include "platform/x11/toplevelwindows.h"

struct xcb_connection_t;

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
  // _NET_CLOSE_WINDOW through the window manager when one runs; a window that
  // takes part in neither, with no window manager, gets no request. Returns
  // after a round trip to the server.
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
  };
  // Interned once per connection; an atom no client ever named is 0.
  const SAtoms& Atoms();
  // False, with errno set, when the connection is (or has become) unusable.
  bool Usable();
  bool HasWindowManager();

  xcb_connection_t* m_pConnection = nullptr;
  int m_nConnectErrno = 0;
  std::uint32_t m_nRoot = 0;
  bool m_bAtomsRead = false;
  SAtoms m_atoms;
};

}  // namespace zef
