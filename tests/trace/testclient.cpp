// A program under test for the transport tests. Modes:
//   nested                 scopes, free text and PrintF lines
//   lines <id> <count>     "client <id> line <k>" for k = 1..count
//   threads <n> <count>    n threads, each "thread <t> line <k>"
//   fork <count>           one line, then parent and forked child each trace count lines at once
//   late                   one line, "WAITING" on stdout, waits for a stdin line, two more lines
//   each <line>...         each argument as one line
//   long <units> <times>   a line of <units> 'x' characters, <times> times
//   brokenpipe [blocked]   traces into a standard error whose reader has gone (with SIGPIPE
//                          blocked and already pending: "blocked"), then says on stdout
//                          whether SIGPIPE is pending
//   printf                 C++ and C PrintF of null strings and characters
//   hold <count>           "hold line <k>" for k = 1..count, "SENT", then waits for the end of stdin
//   raw <socket> <kind>    speaks the wire directly: hello, garbage, hugelen, half,
//                          die-midline, noread, retitle, bigframes (a hand-over of three
//                          1 MiB frames), burst-die (5000 hand-overs "burst line <k>",
//                          more than the server reads at once, written with no reply
//                          read, then SIGKILL)
//   identify <socket> <action>...
//                          speaks the wire directly, without the library's own
//                          identify; after the window lookup, per action one line
//                          "R <status> <result>..." (a pair per reply): tell=<text>
//                          (kMsgIdentify alone, window 0), tellwin=<text> (the same to
//                          the main window), tellgroup=<text> (kMsgIdentify as the first
//                          frame of a hand-over of "grouped line"), line=<text> (a
//                          hand-over), command=<id> (WM_COMMAND alone), groupcommand=<id>
//                          (a hand-over of "grouped <id>" with that command), settext=<text>
//                          (WM_SETTEXT alone to the buffer), gettext (WM_GETTEXT alone to
//                          the buffer), close (WM_CLOSE alone to the main window). Texts
//                          take \n, \t, \\ and \uXXXX (one UTF-16 unit, so lone surrogates too).
#include <zeftrace/trace.h>
#include <zeftrace/windowhost.h>
#include <zeftrace/wire.h>
#include <zeftrace/zeftrace.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

void Nested() {
  zef::CTraceScope outer("Outer()");
  outer.Print(u"free text");
  {
    zef::CTraceScope inner(L"Inner()");
    inner.PrintF("last error: 0x%04x", 5);
    inner.SetResult("0");
  }
  {
    zef::CTraceScope empty("Empty()");
    empty.SetResult("");
  }
  outer.PrintF(u"name=%s", "\xc3\xa4\xf0\x9f\x98\x80");
}

std::string Frame(zef::wire::EOp op, std::uint8_t flags, std::uint32_t window, std::uint32_t message,
                  std::uint64_t wParam, std::u16string_view text) {
  const zef::wire::SFrameHeader h = zef::wire::MakeFrame(op, flags, window, message, wParam, text.size());
  std::string out(reinterpret_cast<const char*>(&h), sizeof h);
  out.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  return out;
}

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += size_t(n);
  }
}

// One reply: its result, status and text length (its text is read and
// dropped), or false when the server closed the connection.
bool ReadReply(int fd, zef::wire::SReplyHeader* reply) {
  if (::recv(fd, reply, sizeof *reply, MSG_WAITALL) != ssize_t(sizeof *reply)) return false;
  std::string bytes(reply->nTextBytes, '\0');
  return reply->nTextBytes == 0 || ::recv(fd, bytes.data(), bytes.size(), MSG_WAITALL) == ssize_t(bytes.size());
}

std::u16string Unescape(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += char16_t(static_cast<unsigned char>(text[i]));
      continue;
    }
    const char c = text[++i];
    if (c == 'n') {
      out += u'\n';
    } else if (c == 't') {
      out += u'\t';
    } else if (c == 'u' && i + 4 < text.size()) {
      out += char16_t(std::stoul(text.substr(i + 1, 4), nullptr, 16));
      i += 4;
    } else {
      out += char16_t(c);
    }
  }
  return out;
}

std::string HandOver(std::uint32_t monitor, std::uint32_t buffer, std::u16string_view line,
                     std::uint64_t command = zef::kEntryFromBufferCommand) {
  using zef::wire::EOp;
  return Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, buffer, zef::WM_SETTEXT, 0, line) +
         Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, monitor, zef::WM_COMMAND, command, {}) +
         Frame(EOp::kSendMessage, 0, buffer, zef::WM_SETTEXT, 0, zef::kBufferMarker);
}

void WaitForStdinEnd() {
  std::string ignored;
  while (std::getline(std::cin, ignored)) {
  }
}

int Raw(const std::string& path, const std::string& kind, const std::vector<std::string>& actions = {}) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::printf("CONNECT-FAILED %s\n", std::strerror(errno));
    return 1;
  }
  using zef::wire::EOp;
  // The monitor's windows, looked up as the library does.
  auto lookUp = [fd](std::uint32_t window) {
    SendAll(fd, window ? Frame(EOp::kGetFirstChild, 0, window, 0, 0, {}) : Frame(EOp::kFindWindow, 0, 0, 0, 0, u"ZEF"));
    zef::wire::SReplyHeader reply{};
    return ReadReply(fd, &reply) ? std::uint32_t(reply.nResult) : 0u;
  };
  std::uint32_t monitor = 0, buffer = 0;
  if (kind == "retitle" || kind == "bigframes" || kind == "identify" || kind == "burst-die") {
    monitor = lookUp(0);
    buffer = lookUp(lookUp(monitor));
  }
  if (kind == "identify") {
    for (const std::string& action : actions) {
      const size_t equals = action.find('=');
      const std::string verb = action.substr(0, equals);
      const std::u16string text = Unescape(equals == std::string::npos ? std::string() : action.substr(equals + 1));
      std::string request;
      int replies = 1;
      if (verb == "tell" || verb == "tellwin") {
        request = Frame(EOp::kSendMessage, 0, verb == "tell" ? 0 : monitor, zef::wire::kMsgIdentify, 0, text);
      } else if (verb == "command") {
        request = Frame(EOp::kSendMessage, 0, monitor, zef::WM_COMMAND, std::stoul(action.substr(equals + 1)), {});
      } else if (verb == "groupcommand") {
        const std::string id = action.substr(equals + 1);
        request = HandOver(monitor, buffer, Unescape("grouped " + id), std::stoul(id));
        replies = 3;
      } else if (verb == "settext") {
        request = Frame(EOp::kSendMessage, 0, buffer, zef::WM_SETTEXT, 0, text);
      } else if (verb == "gettext") {
        request = Frame(EOp::kSendMessage, 0, buffer, zef::WM_GETTEXT, 0, {});
      } else if (verb == "close") {
        request = Frame(EOp::kSendMessage, 0, monitor, zef::WM_CLOSE, 0, {});
      } else if (verb == "tellgroup") {
        request = Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, 0, zef::wire::kMsgIdentify, 0, text) +
                  HandOver(monitor, buffer, u"grouped line");
        replies = 4;
      } else {
        request = HandOver(monitor, buffer, text);
        replies = 3;
      }
      SendAll(fd, request);
      std::string out = "R";
      for (int i = 0; i < replies; ++i) {
        zef::wire::SReplyHeader reply{};
        if (!ReadReply(fd, &reply)) {
          std::printf("%s DROPPED\n", out.c_str());
          return 1;
        }
        out += " " + std::to_string(reply.nStatus) + " " + std::to_string(reply.nResult);
      }
      std::printf("%s\n", out.c_str());
    }
    return 0;
  }
  if (kind == "burst-die") {
    std::string burst;
    for (int k = 1; k <= 5000; ++k) {
      const std::string line = "burst line " + std::to_string(k);
      burst += HandOver(monitor, buffer, std::u16string(line.begin(), line.end()));
    }
    SendAll(fd, burst);
    ::raise(SIGKILL);
  }
  if (kind == "hello") {
    SendAll(fd, Frame(EOp::kFindWindow, 0, 0, 0, 0, u"ZEF"));
    zef::wire::SReplyHeader reply{};
    const ssize_t n = ::recv(fd, &reply, sizeof reply, MSG_WAITALL);
    if (n == ssize_t(sizeof reply)) {
      std::printf("HWND %lld\n", static_cast<long long>(reply.nResult));
    } else {
      std::printf("REFUSED\n");
    }
    return 0;
  }
  if (kind == "retitle") {
    SendAll(fd, Frame(EOp::kSendMessage, 0, monitor, zef::WM_SETTEXT, 0, u"HIJACKED"));
    zef::wire::SReplyHeader reply{};
    if (!ReadReply(fd, &reply)) return 1;
    SendAll(fd, Frame(EOp::kFindWindow, 0, 0, 0, 0, u"ZEF"));
    zef::wire::SReplyHeader found{};
    if (!ReadReply(fd, &found)) return 1;
    std::printf("REPLY %lld %u FIND %lld\n", static_cast<long long>(reply.nResult), reply.nStatus,
                static_cast<long long>(found.nResult));
    return 0;
  }
  if (kind == "bigframes") {
    // The buffer set three times to the largest text, then taken.
    const std::u16string big(zef::wire::kMaxTextBytes / 2, u'b');
    std::string group;
    for (int i = 0; i < 3; ++i)
      group += Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, buffer, zef::WM_SETTEXT, 0, big);
    group += Frame(EOp::kSendMessage, 0, monitor, zef::WM_COMMAND, zef::kEntryFromBufferCommand, {});
    SendAll(fd, group);
    zef::wire::SReplyHeader reply{};
    std::uint32_t statuses = 0;
    for (int i = 0; i < 4; ++i) {
      if (!ReadReply(fd, &reply)) {
        std::printf("DROPPED\n");
        return 1;
      }
      statuses |= reply.nStatus;
    }
    std::printf("TAKEN %u\n", statuses);
    return 0;
  }
  if (kind == "garbage") {
    SendAll(fd, std::string(4096, '\x5a') + "not a frame at all");
  } else if (kind == "hugelen") {
    zef::wire::SFrameHeader h = zef::wire::MakeFrame(EOp::kSendMessage, 0, 0x12, zef::WM_SETTEXT, 0, 0);
    h.nTextBytes = 0xFFFFFFF0u;
    SendAll(fd, std::string(reinterpret_cast<const char*>(&h), sizeof h));
  } else if (kind == "half") {
    const std::string frame =
        Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, 0x12, zef::WM_SETTEXT, 0, u"half line");
    SendAll(fd, frame.substr(0, frame.size() / 2));
  } else if (kind == "die-midline") {
    // The whole WM_SETTEXT of a hand-over and half of its WM_COMMAND, then death.
    std::string group =
        Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, 0x12, zef::WM_SETTEXT, 0, u"line of a dying client");
    const std::string command = Frame(EOp::kSendMessage, zef::wire::kFlagGroupContinues, 0x10, zef::WM_COMMAND,
                                      zef::kEntryFromBufferCommand, {});
    group += command.substr(0, command.size() / 2);
    SendAll(fd, group);
    std::fflush(stdout);
    ::raise(SIGKILL);
  } else if (kind == "noread") {
    // Looks the monitor up over and over and never reads a reply.
    const std::string request = Frame(EOp::kFindWindow, 0, 0, 0, 0, u"ZEF");
    std::string many;
    for (int i = 0; i < 4096; ++i) many += request;
    for (int i = 0; i < 64; ++i) SendAll(fd, many);
  }
  std::printf("SENT\n");
  std::fflush(stdout);
  WaitForStdinEnd();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string mode = args.empty() ? "" : args[0];
  if (mode == "nested") {
    Nested();
  } else if (mode == "lines" && args.size() == 3) {
    const int count = std::stoi(args[2]);
    for (int k = 1; k <= count; ++k) zef::TraceLine("client " + args[1] + " line " + std::to_string(k));
  } else if (mode == "threads" && args.size() == 3) {
    const int threads = std::stoi(args[1]);
    const int count = std::stoi(args[2]);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([t, count] {
        for (int k = 1; k <= count; ++k) zef::TraceLine("thread " + std::to_string(t) + " line " + std::to_string(k));
      });
    }
    for (std::thread& w : workers) w.join();
  } else if (mode == "fork" && args.size() == 2) {
    const int count = std::stoi(args[1]);
    zef::TraceLine("before fork");  // the parent's lookup and connection exist now
    const pid_t child = ::fork();
    const std::string who = child == 0 ? "child" : "parent";
    for (int k = 1; k <= count; ++k) zef::TraceLine(who + " line " + std::to_string(k));
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
  } else if (mode == "late") {
    zef::TraceLine("early");
    std::printf("WAITING\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);
    zef::TraceLine("late 1");
    zef::TraceLine("late 2");
  } else if (mode == "each") {
    for (size_t i = 1; i < args.size(); ++i) zef::TraceLine(args[i]);
  } else if (mode == "long" && args.size() == 3) {
    const std::string line(std::stoul(args[1]), 'x');
    for (int i = std::stoi(args[2]); i > 0; --i) zef::TraceLine(line);
  } else if (mode == "brokenpipe") {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    if (args.size() == 2 && args[1] == "blocked") {
      ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
      ::raise(SIGPIPE);
    }
    int ends[2];
    if (::pipe(ends) != 0) return 2;
    ::close(ends[0]);
    ::dup2(ends[1], STDERR_FILENO);
    for (int k = 1; k <= 10; ++k) zef::TraceLine("line " + std::to_string(k));
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    std::printf("%s\n", sigismember(&pending, SIGPIPE) ? "PENDING" : "NOT PENDING");
  } else if (mode == "printf") {
    const char* none = nullptr;
    const char16_t* none16 = nullptr;
    const wchar_t* noneWide = nullptr;
    zef::CTraceScope scope("P()");
    scope.PrintF("s=%s", none);
    scope.PrintF(u"u=%s", none16);
    scope.PrintF(L"w=%s", noneWide);
    scope.PrintF("n=%s", nullptr);
    scope.PrintF("c=%c", '\xe4');
    scope.PrintF("e=%c", u'\u20ac');
    scope.Print(none);
    zef_trace_scope* c = zef_trace_scope_begin("c()");
    const char* volatile hidden = nullptr;  // a null the compiler cannot see, as in real programs
    zef_trace_scope_printf(c, "s=%s %c %lc", hidden, 0xe4, static_cast<wint_t>(0x20ac));
    zef_trace_scope_end(c);
  } else if (mode == "raw" && args.size() == 3) {
    return Raw(args[1], args[2]);
  } else if (mode == "identify" && args.size() >= 2) {
    return Raw(args[1], "identify", std::vector<std::string>(args.begin() + 2, args.end()));
  } else if (mode == "hold" && args.size() == 2) {
    for (int k = 1; k <= std::stoi(args[1]); ++k) zef::TraceLine("hold line " + std::to_string(k));
    std::printf("SENT\n");
    std::fflush(stdout);
    WaitForStdinEnd();
  } else {
    std::fprintf(stderr,
                 "usage: zef_trace_testclient "
                 "nested|lines|threads|fork|late|each|long|brokenpipe|printf|hold|raw|identify ...\n");
    return 2;
  }
  return 0;
}
