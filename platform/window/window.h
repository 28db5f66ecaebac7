// Addressable windows of this process: handles, titles, child order and the
// messages that trace clients and tests send (WM_SETTEXT, WM_GETTEXT,
// WM_COMMAND, WM_CLOSE).
//
// Every window object registers with the process's CWindowManager when it is
// created. The manager answers FindWindow / GetWindow(GW_CHILD) /
// SendMessage for this process, directly for callers on the UI thread and,
// through the socket transport, for trace clients in other processes.
#pragma once

#include <QString>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <zeftrace/windowhost.h>

namespace zef {

struct SPeer;

class CWindowObject {
 public:
  CWindowObject() = default;
  virtual ~CWindowObject();
  CWindowObject(const CWindowObject&) = delete;
  CWindowObject& operator=(const CWindowObject&) = delete;

  // Gives the object its handle and makes it the last child of `parent`
  // (a top-level window when `parent` is null). Called once, at creation.
  void RegisterWindow(CWindowObject* parent, const QString& title);
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The window text; a list keeps it without showing it.
  const QString& GetWindowText() const { return m_strWindowText; }
  void SetWindowText(const QString& text);

  // Handles one message. The default stores and reads the window text;
  // windows that take commands or closes override it and call the base for
  // everything else.
  virtual LRESULT WindowProc(std::uint32_t message, WPARAM wParam, std::u16string_view text, std::u16string* textOut);

 protected:
  // Called after WM_SETTEXT changed the text (the main window retitles itself).
  virtual void OnWindowTextChanged() {}

 private:
  HWND m_hWnd = 0;
  QString m_strWindowText;
};

// The window table of this process. One per process, as the window system
// is; it is only touched on the UI thread.
class CWindowManager final : public IWindowHost {
 public:
  static CWindowManager& Instance();

  HWND FindWindow(std::u16string_view title) override;
  HWND GetFirstChild(HWND window) override;
  // A message sent in this process, by its own code or its own trace lines.
  LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                      std::u16string* textOut) override;
  // A message that a server received from a client: `peer` (not null) is
  // the connection it came on, CurrentPeer() while the window handles it.
  LRESULT SendMessageFrom(const SPeer* peer, HWND window, std::uint32_t message, WPARAM wParam,
                          std::u16string_view text, std::u16string* textOut);
  // The client whose message is handled now: the innermost one when a
  // handler's nested loop serves another client. Null when the innermost
  // message was sent in this process (also when this process sends it while
  // handling a client's message) or none is being handled. Valid until that
  // handler returns.
  const SPeer* CurrentPeer() const { return m_peers.empty() ? nullptr : m_peers.back(); }

  CWindowObject* FromHandle(HWND window) const;
  // Whether `window` exists and has no parent.
  bool IsTopLevel(HWND window) const;

 private:
  friend class CWindowObject;
  struct Entry {
    CWindowObject* object = nullptr;
    HWND parent = 0;
    std::vector<HWND> children;
  };
  HWND Register(CWindowObject* object, HWND parent);
  void Unregister(HWND window);

  HWND m_nextHandle = 0x10;
  std::map<HWND, Entry> m_windows;
  std::vector<HWND> m_topLevel;
  std::vector<const SPeer*> m_peers;  // of the messages being handled, innermost last
};

// The calls by the names the rest of the program uses.
HWND FindWindow(const QString& title);
HWND GetWindow(HWND window, std::uint32_t relation);
LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam = 0, const QString& text = {});
QString GetWindowText(HWND window);

}  // namespace zef
