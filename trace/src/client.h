// The client end of the window-message transport: one connection to the
// program that serves the windows of one top-level title. Blocking; the
// caller serialises its use.
#pragma once

#include <zeftrace/windowhost.h>

#include <string>
#include <string_view>

namespace zef {

class CWindowClient {
 public:
  CWindowClient() = default;
  ~CWindowClient();
  CWindowClient(const CWindowClient&) = delete;
  CWindowClient& operator=(const CWindowClient&) = delete;

  // Connects to the server of windows titled `title`, in this user's socket
  // directory. Refuses a directory or a server process of another user.
  bool Connect(std::u16string_view title, std::string* error);
  bool IsConnected() const { return m_nFd >= 0; }
  // Drops this process's reference only (no shutdown), so a forked child can
  // let go of its parent's connection.
  void Close();

  HWND FindWindow(std::u16string_view title);
  HWND GetFirstChild(HWND window);
  LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                      std::u16string* textOut);
  // The three messages of one hand-over, written at once as one group and
  // answered after the server's UI thread handled all three.
  bool HandOver(HWND monitor, HWND buffer, std::u16string_view line);

 private:
  // Writes `request` (holding `frames` frames) and reads as many replies.
  // The result and text of the last reply go to *result and *textOut.
  bool Transact(const std::string& request, int frames, LRESULT* result, std::u16string* textOut);

  int m_nFd = -1;
  std::string m_strReadAhead;  // replies come in order; bytes read past one stay here
};

}  // namespace zef
