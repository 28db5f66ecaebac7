// The client end of the window-message transport: one connection to the
// program that serves the windows of one top-level title. Blocking, with an
// optional limit on how long one exchange may take; the caller serialises
// its use. CHandOverPipeline keeps many hand-overs in flight on it instead.
#pragma once

#include <zeftrace/windowhost.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace zef {

enum class EExchange { kOk, kLost, kTimedOut };

// How long one exchange may take, from ZEFTRACE_TIMEOUT_MS: a positive
// number of milliseconds; anything else (unset, empty, not a number) is no
// limit, 0.
std::chrono::milliseconds TimeoutFromEnvironment();

// The longest line one hand-over carries, in UTF-16 units.
inline constexpr std::size_t kMaxLineUnits = 512 * 1024;

// A line longer than a frame may carry is cut, ending in "…", rather than
// dropped. Returns the line to send: `line` itself, or the cut copy in
// `storage`.
std::u16string_view FitLineToFrame(std::u16string_view line, std::u16string& storage, bool* cut);

// Appends the three frames of one hand-over of `line` (already fitted).
void AppendHandOver(std::string& out, HWND monitor, HWND buffer, std::u16string_view line);

class CWindowClient {
 public:
  CWindowClient() = default;
  ~CWindowClient();
  CWindowClient(const CWindowClient&) = delete;
  CWindowClient& operator=(const CWindowClient&) = delete;

  // Connects to the server of windows titled `title`, in this user's socket
  // directory, and tells it this process's host, pid and program name
  // (kMsgIdentify; one round trip, within the timeout when one is set).
  // Refuses a directory or a server process of another user. False too when
  // the server does not answer that first request: LastExchange() says
  // whether it timed out.
  bool Connect(std::u16string_view title, std::string* error);
  bool IsConnected() const { return m_nFd >= 0; }
  int Fd() const { return m_nFd; }
  // Drops this process's reference only (no shutdown), so a forked child can
  // let go of its parent's connection.
  void Close();
  // Zero: every exchange waits as long as the server needs. Otherwise an
  // exchange that takes longer gives up and closes the connection.
  void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
  // How the last exchange ended.
  EExchange LastExchange() const { return m_eLast; }

  HWND FindWindow(std::u16string_view title);
  HWND GetFirstChild(HWND window);
  LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wParam, std::u16string_view text,
                      std::u16string* textOut);
  // The three messages of one hand-over, written at once as one group and
  // answered after the server's UI thread handled all three. *cut says
  // whether the line had to be cut to fit.
  EExchange HandOver(HWND monitor, HWND buffer, std::u16string_view line, bool* cut);

  // Bytes read past the replies taken so far (the pipeline takes them over).
  std::string TakeReadAhead() { return std::move(m_strReadAhead); }

 private:
  // Writes `request` (holding `frames` frames) and reads as many replies.
  // The result and text of the last reply go to *result and *textOut.
  EExchange Transact(const std::string& request, int frames, LRESULT* result, std::u16string* textOut);

  int m_nFd = -1;
  std::chrono::milliseconds m_timeout{0};
  EExchange m_eLast = EExchange::kOk;
  std::string m_strReadAhead;  // replies come in order; bytes read past one stay here
};

// Hand-overs in flight on one connection: groups are written as fast as the
// server takes them and their replies are counted as they come back. The
// server runs each group whole and one connection's groups in order, so the
// lines arrive exactly once and in order, without a round trip each.
// Non-blocking: the owner polls Fd() for Events() and calls Pump.
class CHandOverPipeline {
 public:
  // Takes over the client's connection, which must have found the windows.
  CHandOverPipeline(CWindowClient& client, HWND monitor, HWND buffer);

  // Queues one line; *cut says whether it had to be cut to fit a frame.
  void Queue(std::u16string_view line, bool* cut);
  // Reads the replies that came and writes what the socket takes, without
  // blocking. `revents` from poll; 0 just tries.
  void Pump(short revents);

  int Fd() const { return m_client.Fd(); }
  // POLLOUT while bytes wait to be written, POLLIN while replies are due.
  short Events() const;
  size_t UnsentBytes() const { return m_strOut.size() - m_nSent; }
  size_t InFlight() const { return m_nQueued - m_nConfirmed; }
  // Lines whose three replies all came back: the monitor has taken them.
  size_t Confirmed() const { return m_nConfirmed; }
  // The connection broke (the server went away or broke the protocol).
  bool Failed() const { return m_bFailed; }

 private:
  void Fail();
  // False when the connection failed.
  bool TakeReplies();

  CWindowClient& m_client;
  HWND m_hMonitor;
  HWND m_hBuffer;
  std::u16string m_strFitted;
  std::string m_strOut;
  size_t m_nSent = 0;
  std::string m_strIn;
  size_t m_nQueued = 0;
  size_t m_nReplies = 0;  // replies taken; three per line
  size_t m_nConfirmed = 0;
  bool m_bFailed = false;
};

}  // namespace zef
