// zeftrace: sends lines to the running monitor and, like tee, copies every
// line it reads to standard error. The arguments, joined by spaces, are one
// line; without arguments every line of standard input is one line.
//
// It never breaks a pipeline: without a monitor, or when the monitor goes
// away, it says so once on standard error and reads and copies its input to
// the end. Exit status 0 when every line reached a monitor, 1 otherwise.
//
// Lines from standard input are pipelined: many hand-overs are in flight on
// the one connection and their replies are counted as they come back, so the
// rate is not bound by a round trip per line. The server runs each group
// whole and in order, so every line still arrives once and in order.
//
// With --export-trace FILE it writes the lines of standard input, each
// stamped as it is read, to FILE as a trace event file instead, nested by
// their braces as the monitor nests them; it still copies them to standard
// error, and hands none to a monitor.
#include "client.h"
#include "text.h"
#include "trace/events/traceevents.h"
#include "utf/utf.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 64 * 1024;
// Input is read on only while less than this waits for standard error or
// for the socket, so a slow reader on either side holds the producer back
// instead of filling memory.
constexpr size_t kEchoHigh = 256 * 1024;
constexpr size_t kSendHigh = 256 * 1024;
// Of a longer line only this many bytes are kept for the monitor (enough
// for the most a frame carries); the rest is copied to standard error only.
constexpr size_t kLineCap = 3 * zef::kMaxLineUnits + 4;

// The copy to standard error. Written only when poll says the descriptor
// takes more, at most PIPE_BUF at a time where a larger write could block
// (a pipe, a terminal), so that a stalled reader of standard error never
// keeps zeftrace from serving its monitor connection. Gone for good when its
// reader has gone.
class CEcho {
 public:
  CEcho() {
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0) {
      m_bGone = true;
      return;
    }
    const bool devNull = S_ISCHR(st.st_mode) && major(st.st_rdev) == 1 && minor(st.st_rdev) == 3;
    m_nChunk = S_ISREG(st.st_mode) || devNull ? kReadChunk : PIPE_BUF;
  }

  void Append(const char* data, size_t size) {
    if (m_bGone || size == 0) return;
    m_strPending.append(data, size);
    m_cLast = data[size - 1];
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  // A message of zeftrace's own, on a line of its own.
  void Say(const std::string& text) {
    if (m_cLast != '\n') Append("\n", 1);
    Append(text);
    Append("\n", 1);
  }

  size_t Pending() const { return m_bGone ? 0 : m_strPending.size() - m_nWritten; }
  bool Gone() const { return m_bGone; }

  void Flush() {
    while (Pending() > 0) {
      const size_t size = std::min(Pending(), m_nChunk);
      const ssize_t n = ::write(STDERR_FILENO, m_strPending.data() + m_nWritten, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n < 0 && errno == EAGAIN) return;
        m_bGone = true;  // EPIPE (SIGPIPE is ignored here), a closed descriptor, ...
        std::string().swap(m_strPending);
        m_nWritten = 0;
        return;
      }
      m_nWritten += size_t(n);
      if (m_nChunk == PIPE_BUF) break;  // the next write waits for poll
    }
    if (m_nWritten == m_strPending.size()) {
      m_strPending.clear();
      m_nWritten = 0;
    } else if (m_nWritten > kReadChunk) {
      m_strPending.erase(0, m_nWritten);
      m_nWritten = 0;
    }
  }

 private:
  std::string m_strPending;
  size_t m_nWritten = 0;
  size_t m_nChunk = PIPE_BUF;
  char m_cLast = '\n';
  bool m_bGone = false;
};

class CSender {
 public:
  CSender() : m_timeout(zef::TimeoutFromEnvironment()) {}

  // Connects and finds the monitor's windows; says so once when there is none.
  void Open() {
    m_client.SetTimeout(m_timeout);
    std::string error;
    const bool connected = m_client.Connect(zef::kMonitorTitle, &error);
    if (connected) {
      m_hMonitor = m_client.FindWindow(zef::kMonitorTitle);
      const zef::HWND view = m_hMonitor ? m_client.GetFirstChild(m_hMonitor) : 0;
      m_hBuffer = view ? m_client.GetFirstChild(view) : 0;
    }
    if (m_client.LastExchange() == zef::EExchange::kTimedOut) {
      error = "it did not answer within " + std::to_string(m_timeout.count()) + " ms (ZEFTRACE_TIMEOUT_MS)";
    } else if (connected && !m_hBuffer) {
      error = "no window titled \"ZEF\" with a buffer";
    }
    if (m_hBuffer) return;
    m_client.Close();
    m_bAllReached = false;
    m_echo.Say("zeftrace: no monitor is running (" + error + "); lines go to standard error only");
  }

  // One line from the arguments, handed over synchronously.
  void SendOne(const std::string& line) {
    m_echo.Append(line);
    m_echo.Append("\n", 1);
    if (m_hBuffer) {
      bool cut = false;
      const std::u16string text = zef::text::Utf8ToUtf16(line);
      switch (m_client.HandOver(m_hMonitor, m_hBuffer, text, &cut)) {
        case zef::EExchange::kOk:
          if (cut) SayCut();
          break;
        case zef::EExchange::kLost:
          Lost(0);
          break;
        case zef::EExchange::kTimedOut:
          TimedOut(0);
          break;
      }
    }
    DrainEcho();
  }

  // Every line of standard input, pipelined.
  void SendStream() {
    if (m_hBuffer) m_pPipeline = std::make_unique<zef::CHandOverPipeline>(m_client, m_hMonitor, m_hBuffer);
    auto buffer = std::make_unique<char[]>(kReadChunk);
    bool eof = false;
    for (;;) {
      if (m_pPipeline) Watch();
      const bool waitReplies = m_pPipeline && m_pPipeline->InFlight() > 0;
      if (eof && m_echo.Pending() == 0 && !waitReplies) break;

      pollfd fds[3];
      int count = 0;
      int in = -1, err = -1, sock = -1;
      if (!eof && m_echo.Pending() < kEchoHigh && (!m_pPipeline || m_pPipeline->UnsentBytes() < kSendHigh)) {
        in = count;
        fds[count++] = {STDIN_FILENO, POLLIN, 0};
      }
      if (m_echo.Pending() > 0) {
        err = count;
        fds[count++] = {STDERR_FILENO, POLLOUT, 0};
      }
      if (m_pPipeline && m_pPipeline->Events()) {
        sock = count;
        fds[count++] = {m_pPipeline->Fd(), m_pPipeline->Events(), 0};
      }
      int wait = -1;
      if (waitReplies && m_timeout.count() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_tProgress + m_timeout - Clock::now());
        wait = int(std::max<long long>(left.count(), 0));
      }
      const int rc = ::poll(fds, nfds_t(count), wait);
      if (rc < 0 && errno != EINTR) break;
      if (rc <= 0) continue;  // a timeout is judged by Watch

      if (sock >= 0 && fds[sock].revents) m_pPipeline->Pump(fds[sock].revents);
      if (err >= 0 && fds[err].revents) m_echo.Flush();
      if (in >= 0 && fds[in].revents) {
        const ssize_t n = ::read(STDIN_FILENO, buffer.get(), kReadChunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
          eof = true;
          if (m_bLineStarted) EndLine(false);
        } else {
          Take(buffer.get(), size_t(n));
        }
        if (m_pPipeline) m_pPipeline->Pump(0);  // write what the socket takes now
      }
    }
    DrainEcho();
  }

  int ExitStatus() const { return m_bAllReached ? 0 : 1; }

 private:
  void Take(const char* data, size_t size) {
    size_t pos = 0;
    while (pos < size) {
      const void* found = std::memchr(data + pos, '\n', size - pos);
      const size_t end = found ? size_t(static_cast<const char*>(found) - data) : size;
      AddToLine(data + pos, end - pos);
      if (!found) break;
      EndLine(true);
      pos = end + 1;
    }
  }

  void AddToLine(const char* data, size_t size) {
    m_bLineStarted = true;
    if (m_bLineLong) {
      m_echo.Append(data, size);
      return;
    }
    const size_t keep = std::min(size, kLineCap - m_strLine.size());
    m_strLine.append(data, keep);
    if (keep < size) {
      // Too long to hold: its copy to standard error goes out as it comes.
      m_bLineLong = true;
      m_echo.Append(m_strLine);
      m_echo.Append(data + keep, size - keep);
    }
  }

  void EndLine(bool newline) {
    if (!m_bLineLong) m_echo.Append(m_strLine);
    if (newline) m_echo.Append("\n", 1);
    std::string_view line = m_strLine;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (m_pPipeline) {
      if (m_pPipeline->InFlight() == 0) m_tProgress = Clock::now();
      m_strUtf16.clear();
      zef::utf::AppendUtf8AsUtf16(line, &m_strUtf16, zef::utf::EInvalid::kReplace);
      bool cut = false;
      m_pPipeline->Queue(m_strUtf16, &cut);
      if (cut || m_bLineLong) SayCut();
    }
    m_strLine.clear();
    m_bLineLong = false;
    m_bLineStarted = false;
  }

  // Judges the pipeline after each poll: its failure, or no reply within
  // the timeout.
  void Watch() {
    if (m_pPipeline->Confirmed() != m_nConfirmedSeen) {
      m_nConfirmedSeen = m_pPipeline->Confirmed();
      m_tProgress = Clock::now();
    }
    if (m_pPipeline->Failed()) {
      Lost(m_pPipeline->Confirmed());
    } else if (m_timeout.count() > 0 && m_pPipeline->InFlight() > 0 && Clock::now() - m_tProgress >= m_timeout) {
      TimedOut(m_pPipeline->Confirmed());
    }
  }

  void Lost(size_t confirmed) {
    m_echo.Say("zeftrace: the monitor went away after " + std::to_string(confirmed) +
               " lines; the rest go to standard error only");
    Stop();
  }

  void TimedOut(size_t confirmed) {
    m_echo.Say("zeftrace: the monitor took longer than " + std::to_string(m_timeout.count()) +
               " ms (ZEFTRACE_TIMEOUT_MS) to take a line, after " + std::to_string(confirmed) +
               " lines; the rest go to standard error only");
    Stop();
  }

  void Stop() {
    m_pPipeline.reset();
    m_client.Close();
    m_hBuffer = 0;
    m_bAllReached = false;
  }

  void SayCut() {
    if (m_bCutSaid) return;
    m_bCutSaid = true;
    m_echo.Say("zeftrace: a line longer than " + std::to_string(zef::kMaxLineUnits) +
               " characters was cut for the monitor, where it ends in \u2026");
  }

  // The copy to standard error is written out before zeftrace ends.
  void DrainEcho() {
    while (m_echo.Pending() > 0) {
      pollfd p{STDERR_FILENO, POLLOUT, 0};
      if (::poll(&p, 1, -1) < 0 && errno != EINTR) return;
      m_echo.Flush();
    }
  }

  zef::CWindowClient m_client;
  std::unique_ptr<zef::CHandOverPipeline> m_pPipeline;
  std::chrono::milliseconds m_timeout;
  zef::HWND m_hMonitor = 0;
  zef::HWND m_hBuffer = 0;
  CEcho m_echo;
  std::string m_strLine;
  std::u16string m_strUtf16;
  bool m_bLineStarted = false;
  bool m_bLineLong = false;
  bool m_bAllReached = true;
  bool m_bCutSaid = false;
  size_t m_nConfirmedSeen = 0;
  Clock::time_point m_tProgress{};
};

// Writes all of `data` to `fd`; false on an error.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(size_t(n));
  }
  return true;
}

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Standard input as a trace event file at `path`, written beside it and
// renamed over it, so that a failure leaves no file and no part of one.
int ExportTrace(const std::string& path) {
  std::vector<char> temp(path.begin(), path.end());
  const char suffix[] = ".XXXXXX";
  temp.insert(temp.end(), suffix, suffix + sizeof suffix);
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    std::fprintf(stderr, "zeftrace: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  // mkstemp's file is the owner's alone; the trace is made as any new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  int error = 0;
  zef::CCallTraceExport out([fd, &error](std::string_view bytes) {
    if (WriteAll(fd, bytes)) return true;
    error = errno;
    return false;
  });
  const std::string label = "zeftrace[" + std::to_string(::getpid()) + "]";
  std::u16string text;
  zef::utf::AppendUtf8AsUtf16(label, &text, zef::utf::EInvalid::kReplace);
  out.NameSender(0, text);
  bool echo = true;
  std::string line;
  auto buffer = std::make_unique<char[]>(kReadChunk);
  const auto endLine = [&](std::int64_t ts) {
    std::string_view view = line;
    if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
    text.clear();
    zef::utf::AppendUtf8AsUtf16(view, &text, zef::utf::EInvalid::kReplace);
    out.AddLine(0, ts, text);
    line.clear();
  };
  bool started = false;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer.get(), kReadChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    // Every line of one read arrived at once.
    const std::int64_t ts = NowMicroseconds();
    const std::string_view chunk(buffer.get(), size_t(n));
    if (echo) echo = WriteAll(STDERR_FILENO, chunk);
    size_t pos = 0;
    while (pos < chunk.size()) {
      const size_t end = chunk.find('\n', pos);
      const std::string_view part = chunk.substr(pos, end == std::string_view::npos ? end : end - pos);
      started = true;
      // A line too long for the monitor is cut where the monitor cuts it.
      line.append(part.substr(0, kLineCap - std::min(kLineCap, line.size())));
      if (end == std::string_view::npos) break;
      endLine(ts);
      started = false;
      pos = end + 1;
    }
  }
  if (started) endLine(NowMicroseconds());
  const bool written = out.Finish() && ::fsync(fd) == 0;
  if (!written && error == 0) error = errno;
  if (::close(fd) != 0 && written) error = errno;
  if (error == 0 && ::rename(temp.data(), path.c_str()) == 0) return 0;
  if (error == 0) error = errno;
  ::unlink(temp.data());
  std::fprintf(stderr, "zeftrace: cannot write %s: %s\n", path.c_str(), std::strerror(error));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: zeftrace [--] [LINE WORDS...]\n"
        "Sends the words, joined by spaces, as one line to the running ZEFMON monitor;\n"
        "without words, sends every line of standard input. Like tee, every line also\n"
        "goes to standard error. Without a monitor, or when it goes away, zeftrace says\n"
        "so once and goes on copying its input to standard error to the end.\n"
        "Exit status: 0 when every line reached a monitor, 1 otherwise.\n"
        "ZEFTRACE_TIMEOUT_MS: give up on a monitor that takes longer than this for a line.\n"
        "\n"
        "usage: zeftrace --export-trace FILE\n"
        "Writes every line of standard input, stamped as it is read, to FILE as a\n"
        "trace event file (JSON) for a trace viewer: a line holding '{' begins a call,\n"
        "the next line holding '}' ends the innermost one, other lines are instants;\n"
        "calls still open at the end are ended at the last line. The lines still go\n"
        "to standard error, but to no monitor. Exit status: 0 when FILE was written,\n"
        "1 otherwise (then no FILE is left behind).\n");
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--export-trace") == 0) {
    if (argc != 3) {
      std::fprintf(stderr, "usage: zeftrace --export-trace FILE\n");
      return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    return ExportTrace(argv[2]);
  }
  // A reader of standard error that went away must not end zeftrace, and
  // with it the pipeline that feeds it: writes fail instead.
  std::signal(SIGPIPE, SIG_IGN);
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--") == 0) first = 2;

  CSender sender;
  sender.Open();
  if (argc > first) {
    std::string line = argv[first];
    for (int i = first + 1; i < argc; ++i) {
      line += ' ';
      line += argv[i];
    }
    sender.SendOne(line);
  } else {
    sender.SendStream();
  }
  return sender.ExitStatus();
}
