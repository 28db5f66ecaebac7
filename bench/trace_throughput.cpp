// Lines per second from one and from four client processes into a monitor,
// and the rate of a raw Unix-socket ping-pong (64-byte message, 4-byte
// answer) between two processes, which bounds any synchronous hand-over;
// then zeftrace fed a file of 60-character lines (pipelined hand-overs)
// beside the synchronous rate of the same run, and the monitor's resident
// memory with 1,000 idle connections against none.
//
// The monitor is started here with a private runtime, home and config
// directory: the test host by default, or the real program (--monitor PATH,
// offscreen, with quick draw set by --quickdraw). --cpu N pins this process,
// the monitor and every client to one core, so that the server's own cost
// per line shows against the raw round trip on that core. --gutter instead
// compares one client's rate into the real program with its gutter of times
// and senders off and on: two monitors, alternating rounds. --rules does the
// same with no filter rule against five that match none of the lines (so
// that each line is judged by all five), for a file piped through zeftrace
// and for one synchronous client.
#include "bench/monitorprocess.h"

#include <zeftrace/trace.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace zef::bench;

namespace {

SCpu g_echoCpu;  // the raw echo process's, of the last RawPingPong

// Round trips per second between this process and a forked echo process.
double RawPingPong(int rounds) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pair[0]);
    char message[64];
    const char answer[4] = {'o', 'k', '!', '\n'};
    while (ReadExactly(pair[1], message, sizeof message) && WriteExactly(pair[1], answer, sizeof answer)) {
    }
    ::_exit(0);
  }
  ::close(pair[1]);
  char message[64] = "ping";
  char answer[4];
  for (int i = 0; i < 1000; ++i) {  // warm-up
    WriteExactly(pair[0], message, sizeof message);
    ReadExactly(pair[0], answer, sizeof answer);
  }
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    WriteExactly(pair[0], message, sizeof message);
    ReadExactly(pair[0], answer, sizeof answer);
  }
  const double rate = rounds / Seconds(start);
  ::close(pair[0]);
  rusage usage{};
  ::wait4(child, nullptr, 0, &usage);
  g_echoCpu = {usage.ru_utime.tv_sec * 1e6 + double(usage.ru_utime.tv_usec),
               usage.ru_stime.tv_sec * 1e6 + double(usage.ru_stime.tv_usec)};
  return rate;
}

// Runs `clients` processes that each trace `lines` lines; all start at one
// signal after their monitor lookup. Returns lines per second over all.
double TraceClients(int clients, int lines, zef::ETraceMirror mirror) {
  int go[2], done[2];
  if (::pipe(go) != 0 || ::pipe(done) != 0) return 0;
  std::vector<pid_t> children;
  for (int c = 0; c < clients; ++c) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(go[1]);
      ::close(done[0]);
      const int devNull = ::open("/dev/null", O_WRONLY);
      ::dup2(devNull, STDERR_FILENO);
      zef::SetTraceMirror(mirror);
      char found = zef::TraceMonitorFound() ? 1 : 0;
      WriteExactly(done[1], &found, 1);
      char start;
      ReadExactly(go[0], &start, 1);
      std::string line = "bench client " + std::to_string(c) + " line ";
      const size_t prefix = line.size();
      for (int k = 0; k < lines; ++k) {
        line.resize(prefix);
        line += std::to_string(k);
        zef::TraceLine(line);
      }
      WriteExactly(done[1], &found, 1);
      ::_exit(0);
    }
    children.push_back(child);
  }
  ::close(go[0]);
  ::close(done[1]);
  bool allFound = true;
  for (int c = 0; c < clients; ++c) {
    char found = 0;
    ReadExactly(done[0], &found, 1);
    allFound = allFound && found;
  }
  const auto start = Clock::now();
  const std::string starts(size_t(clients), 'g');
  WriteExactly(go[1], starts.data(), starts.size());
  for (int c = 0; c < clients; ++c) {
    char finished;
    ReadExactly(done[0], &finished, 1);
  }
  const double rate = double(clients) * lines / Seconds(start);
  for (pid_t child : children) ::waitpid(child, nullptr, 0);
  ::close(go[1]);
  ::close(done[0]);
  if (!allFound) {
    std::fprintf(stderr, "zef_bench_trace: a client found no monitor\n");
    return 0;
  }
  return rate;
}

// Seconds zeftrace takes to hand over every line of `file` (standard error
// to /dev/null); it ends only after the monitor took the last line.
double PipeFile(const std::string& zeftrace, const std::string& file, SCpu* cpu) {
  const auto start = Clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open(file.c_str(), O_RDONLY);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(in, STDIN_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::execl(zeftrace.c_str(), zeftrace.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const double seconds = Seconds(start);
  *cpu = {usage.ru_utime.tv_sec * 1e6 + double(usage.ru_utime.tv_usec),
          usage.ru_stime.tv_sec * 1e6 + double(usage.ru_stime.tv_usec)};
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "zef_bench_trace: zeftrace failed (status %d)\n", status);
    return 0;
  }
  return seconds;
}

// A file of `count` lines of 60 characters under `root`; returns its path.
std::string WriteLines(const std::string& root, int count) {
  const std::string file = root + "/lines.txt";
  std::string text;
  text.reserve(size_t(count) * 61);
  char line[64];
  for (int k = 0; k < count; ++k) {
    std::snprintf(line, sizeof line, "zeftrace line %09d of a file, sixty characters in all..", k);
    text.append(line, 60);
    text += '\n';
  }
  std::ofstream(file) << text;
  return file;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Alternating rounds into `plain` (running in `runtime`) and a second
// monitor started here with five filter rules: a highlight, a hide, a
// regular expression, a sender and a drop rule, none matching the lines.
int CompareRules(const std::string& monitor, const std::string& root, const std::string& runtime,
                 const std::string& quickDraw, int lines, int pipeLines, const SMonitor& plain) {
  const std::string rules = "QDraw=" + quickDraw +
                            "\n[Init.Filters]\nCount=5\n"
                            "Text1=timeout\nRegex1=0\nSender1=\nAction1=2\nColour1=1\n"
                            "Text2=debug\nRegex2=0\nSender2=\nAction2=1\nColour2=0\n"
                            "Text3=time[0-9]+ms\nRegex3=1\nSender3=\nAction3=1\nColour3=0\n"
                            "Text4=\nRegex4=0\nSender4=worker\nAction4=2\nColour4=2\n"
                            "Text5=heartbeat\nRegex5=0\nSender5=\nAction5=3\nColour5=0";
  const std::string ruledRuntime = root + "/run-rules";
  const SMonitor ruled = StartMonitor(monitor, root, "run-rules", "config-rules", rules);
  if (!ruled.nPid) return 1;
  const std::string file = WriteLines(root, std::max(pipeLines, 1));
  constexpr int kRounds = 5;
  struct SSide {
    const SMonitor* pMonitor;
    std::string strRuntime;
    std::vector<double> vPiped, vCpu, vSynchronous;
  };
  SSide sides[2] = {{&plain, runtime, {}, {}, {}}, {&ruled, ruledRuntime, {}, {}, {}}};
  for (int round = 0; round < kRounds; ++round) {
    for (SSide& side : sides) {
      ::setenv("XDG_RUNTIME_DIR", side.strRuntime.c_str(), 1);
      side.vSynchronous.push_back(TraceClients(1, lines, zef::ETraceMirror::kOff));
      const SCpu before = CpuOf(side.pMonitor->nPid);
      SCpu sender;
      const double seconds = PipeFile(ZEF_CLI, file, &sender);
      const SCpu used = CpuOf(side.pMonitor->nPid) - before;
      side.vPiped.push_back(seconds > 0 ? pipeLines / seconds : 0);
      side.vCpu.push_back((used.user + used.system) / pipeLines);
    }
  }
  std::vector<double> pipedRatio, syncRatio;
  for (int round = 0; round < kRounds; ++round) {
    pipedRatio.push_back(sides[1].vPiped[size_t(round)] / sides[0].vPiped[size_t(round)]);
    syncRatio.push_back(sides[1].vSynchronous[size_t(round)] / sides[0].vSynchronous[size_t(round)]);
  }
  std::printf("monitor: %s (quick draw %s); %d alternating rounds, medians\n", monitor.c_str(), quickDraw.c_str(),
              kRounds);
  std::printf(
      "zeftrace, %d lines from a file:  no rule %9.0f lines/s (%.2f us of monitor time a line); "
      "five rules %9.0f lines/s (%.2f us)  %.2f of no rule\n",
      pipeLines, Median(sides[0].vPiped), Median(sides[0].vCpu), Median(sides[1].vPiped), Median(sides[1].vCpu),
      Median(pipedRatio));
  std::printf("1 synchronous client, %d lines:  no rule %9.0f lines/s; five rules %9.0f lines/s  %.2f of no rule\n",
              lines, Median(sides[0].vSynchronous), Median(sides[1].vSynchronous), Median(syncRatio));
  ::close(ruled.nInput);
  ::kill(ruled.nPid, SIGTERM);
  ::waitpid(ruled.nPid, nullptr, 0);
  ::close(plain.nInput);
  ::kill(plain.nPid, SIGTERM);
  ::waitpid(plain.nPid, nullptr, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string monitor;
#ifdef ZEF_TESTHOST
  monitor = ZEF_TESTHOST;
#endif
  std::string quickDraw = "1";
  int lines = 20000;
  int pipeLines = 1000000;
  int idle = 1000;
  int cpu = -1;
  bool gutter = false;
  bool rules = false;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--gutter" || option == "--rules") {
      (option == "--gutter" ? gutter : rules) = true;
      --i;
      continue;
    }
    if (i + 1 >= argc) break;
    if (option == "--monitor") monitor = argv[i + 1];
    else if (option == "--quickdraw") quickDraw = argv[i + 1];
    else if (option == "--lines") lines = std::atoi(argv[i + 1]);
    else if (option == "--pipe-lines") pipeLines = std::atoi(argv[i + 1]);
    else if (option == "--idle") idle = std::atoi(argv[i + 1]);
    else if (option == "--cpu") cpu = std::atoi(argv[i + 1]);
  }
  if (monitor.empty() || lines <= 0 || pipeLines < 0 || idle < 0) {
    std::fprintf(stderr,
                 "usage: zef_bench_trace [--monitor <zefmon>] [--quickdraw 0|1] [--lines N] [--pipe-lines N]\n"
                 "                       [--idle N] [--cpu N] [--gutter | --rules]\n");
    return 2;
  }
  if (cpu >= 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (::sched_setaffinity(0, sizeof set, &set) != 0) {
      std::perror("zef_bench_trace: sched_setaffinity");
      return 1;
    }
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < rlim_t(idle) + 64) {
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t(idle) + 64);
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }

  char scratch[] = "/tmp/zef-bench-XXXXXX";
  if (!::mkdtemp(scratch)) return 1;
  const std::string root = scratch;
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string runtime = root + "/run";
  SMonitor started = StartMonitor(monitor, root, "run", "config", "QDraw=" + quickDraw);
  if (!started.nPid) return 1;
  const pid_t host = started.nPid;
  const int hostInput = started.nInput;
  const std::string socketPath = runtime + "/zef/ZEF.sock";
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

  if (gutter) {
    // A second monitor, in a runtime directory of its own, with the gutter
    // on; rounds of one client alternate between the two.
    const std::string gutterRuntime = root + "/run-gutter";
    SMonitor withGutter =
        StartMonitor(monitor, root, "run-gutter", "config-gutter", "QDraw=" + quickDraw + "\nShowTimeAndSender=1");
    if (!withGutter.nPid) return 1;
    constexpr int kGutterRounds = 7;
    std::vector<double> off, on;
    for (int round = 0; round < kGutterRounds; ++round) {
      ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
      off.push_back(TraceClients(1, lines, zef::ETraceMirror::kOff));
      ::setenv("XDG_RUNTIME_DIR", gutterRuntime.c_str(), 1);
      on.push_back(TraceClients(1, lines, zef::ETraceMirror::kOff));
    }
    std::vector<double> ratios;
    for (int round = 0; round < kGutterRounds; ++round) ratios.push_back(on[size_t(round)] / off[size_t(round)]);
    std::printf("monitor: %s (quick draw %s); %d alternating rounds of %d lines from 1 client, medians\n",
                monitor.c_str(), quickDraw.c_str(), kGutterRounds, lines);
    std::printf("gutter off: %9.0f lines/s\ngutter on:  %9.0f lines/s  (%.3f of off, median of the rounds' ratios)\n",
                Median(off), Median(on), Median(ratios));
    for (const SMonitor& m : {started, withGutter}) {
      ::close(m.nInput);
      ::kill(m.nPid, SIGTERM);
      ::waitpid(m.nPid, nullptr, 0);
    }
    std::string remove = "rm -rf '" + root + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
  }

  if (rules) {
    const int code = CompareRules(monitor, root, runtime, quickDraw, lines, pipeLines, started);
    std::string remove = "rm -rf '" + root + "'";
    return std::system(remove.c_str()) == 0 ? code : 1;
  }

  // The machine's load drifts: the figures are taken in alternating rounds
  // and each reported as its median, so that they share the same conditions.
  constexpr int kRounds = 5;
  std::vector<double> raw, one, oneMirrored, four;
  std::vector<double> echoUser, echoSystem, monitorUser, monitorSystem;
  for (int round = 0; round < kRounds; ++round) {
    raw.push_back(RawPingPong(lines));
    echoUser.push_back(g_echoCpu.user / (lines + 1000));
    echoSystem.push_back(g_echoCpu.system / (lines + 1000));
    const SCpu before = CpuOf(host);
    one.push_back(TraceClients(1, lines, zef::ETraceMirror::kOff));
    const SCpu used = CpuOf(host) - before;
    monitorUser.push_back(used.user / lines);
    monitorSystem.push_back(used.system / lines);
    oneMirrored.push_back(TraceClients(1, lines, zef::ETraceMirror::kOn));
    four.push_back(TraceClients(4, lines / 4, zef::ETraceMirror::kOff));
  }
  const double rawRate = Median(raw);
  std::printf("monitor: %s%s; %d rounds of %d lines, medians\n", monitor.c_str(),
              monitor.find("testhost") == std::string::npos ? (" (quick draw " + quickDraw + ")").c_str() : "", kRounds,
              lines);
  std::printf("raw ping-pong (64 B / 4 B):        %9.0f round trips/s\n", rawRate);
  std::printf("1 client, mirror off:              %9.0f lines/s  (%.2f of raw)\n", Median(one), Median(one) / rawRate);
  std::printf("1 client, mirror to /dev/null:     %9.0f lines/s  (%.2f of raw)\n", Median(oneMirrored),
              Median(oneMirrored) / rawRate);
  std::printf("4 clients together, mirror off:    %9.0f lines/s\n", Median(four));
  std::printf("processor time per line (user + system): raw echo %.1f + %.1f us; monitor, 1 client %.1f + %.1f us\n",
              Median(echoUser), Median(echoSystem), Median(monitorUser), Median(monitorSystem));

  if (pipeLines > 0) {
    // A file of 60-character lines through zeftrace, beside the synchronous
    // rate of one library client measured in alternating rounds.
    const std::string file = WriteLines(root, pipeLines);
    constexpr int kPipeRounds = 3;
    std::vector<double> piped, synchronous, monitorCpu, senderCpu;
    for (int round = 0; round < kPipeRounds; ++round) {
      synchronous.push_back(TraceClients(1, lines, zef::ETraceMirror::kOff));
      const SCpu before = CpuOf(host);
      SCpu sender;
      const double seconds = PipeFile(ZEF_CLI, file, &sender);
      const SCpu used = CpuOf(host) - before;
      piped.push_back(seconds > 0 ? pipeLines / seconds : 0);
      monitorCpu.push_back((used.user + used.system) / pipeLines);
      senderCpu.push_back((sender.user + sender.system) / pipeLines);
    }
    std::printf(
        "zeftrace, %d lines of 60 characters from a file: %9.0f lines/s (%.2f s; %.1fx the synchronous "
        "%.0f lines/s); %d rounds, medians\n",
        pipeLines, Median(piped), pipeLines / Median(piped), Median(piped) / Median(synchronous), Median(synchronous),
        kPipeRounds);
    std::printf("processor time per piped line: monitor %.2f us, zeftrace %.2f us\n", Median(monitorCpu),
                Median(senderCpu));
  }

  if (idle > 0) {
    // Idle connections: resident memory of the monitor with them against
    // without. A synchronous line after them is taken only once every one
    // of them was accepted.
    TraceClients(1, 1, zef::ETraceMirror::kOff);
    const long before = ResidentKiB(host);
    std::vector<int> connections;
    for (int i = 0; i < idle; ++i) {
      const int fd = Connect(socketPath);
      if (fd < 0) break;
      connections.push_back(fd);
    }
    TraceClients(1, 1, zef::ETraceMirror::kOff);
    const long after = ResidentKiB(host);
    std::printf("%zu idle connections: resident memory %+.1f MB (%.1f MB without, %.1f MB with)\n", connections.size(),
                (after - before) / 1024.0, before / 1024.0, after / 1024.0);
    for (int fd : connections) ::close(fd);
  }

  ::close(hostInput);  // the test host quits at the end of its input
  ::kill(host, SIGTERM);
  ::waitpid(host, nullptr, 0);
  std::string remove = "rm -rf '" + root + "'";
  return std::system(remove.c_str()) == 0 ? 0 : 1;
}
