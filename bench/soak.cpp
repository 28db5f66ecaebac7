// A soak: 16 clients trace into the real monitor at a steady rate for
// minutes (or hours), with a memory limit on its lines and its log rotated.
// Eight are library clients that hand over each line synchronously and are
// killed and started again now and then, as programs under test crash and
// rerun; eight pipe their lines through zeftrace. Every 10 s it prints the
// monitor's resident memory, the lines sent and the bytes logged so far.
//
// It fails when the monitor's resident memory ever passes the limit plus
// the stated overhead, when a line a client handed over is missing from the
// log files or in them twice, or when the monitor goes away. A line a
// killed client had in flight may be logged once or not at all.
//
// Usage: zef_bench_soak [--seconds N] [--rate LINES_PER_S] [--limit-mb N]
//                       [--overhead-mb N] [--rotate-mb N] [--monitor PATH]
#include "bench/monitorprocess.h"

#include <zeftrace/trace.h>

#include <signal.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <vector>

using namespace zef::bench;

namespace {

constexpr int kSynchronous = 8;
constexpr int kPiped = 8;
constexpr int kClients = kSynchronous + kPiped;
constexpr int kMaxRuns = 4096;  // runs of one synchronous client (it is restarted after each kill)

struct SOptions {
  double seconds = 60;
  int nRate = 20000;  // lines a second, all clients together
  int nLimitMB = 64;
  int nOverheadMB = 48;  // the monitor with no lines (about 30 MB) and the packed-segment cache, with room
  int nRotateMB = 16;
  std::string strMonitor = ZEF_MONITOR;
};

// What the clients share with the benchmark: per synchronous run, the lines
// the monitor took (TraceLine returned).
struct SShared {
  std::atomic<long> taken[kSynchronous][kMaxRuns];
};

// "soak s3.17 000000042 ....": client kind and number, run, line number,
// padded to 60 characters.
std::string SoakLine(char kind, int client, int run, long number) {
  char line[64];
  std::snprintf(line, sizeof line, "soak %c%d.%d %09ld ", kind, client, run, number);
  std::string text = line;
  text.resize(60, '.');
  return text;
}

// Sleeps until `lines` lines at `rate` a second are due since `start`.
void Pace(Clock::time_point start, long lines, double rate) {
  const auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(lines / rate));
  std::this_thread::sleep_until(due);
}

// A synchronous library client: traces until killed, counting what the
// monitor took.
pid_t StartSynchronous(SShared* shared, int client, int run, double rate) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  const int devNull = ::open("/dev/null", O_WRONLY);
  ::dup2(devNull, STDERR_FILENO);
  zef::SetTraceMirror(zef::ETraceMirror::kOff);
  const auto start = Clock::now();
  for (long n = 0;; ++n) {
    if (n % 16 == 0) Pace(start, n, rate);
    zef::TraceLine(SoakLine('s', client, run, n));
    shared->taken[client][run].store(n + 1, std::memory_order_release);
  }
}

// A writer feeding zeftrace through a pipe for `seconds`, then closing it;
// it ends when zeftrace has handed every line over.
pid_t StartPiped(int client, double rate, double seconds, const char* zeftrace) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) ::_exit(2);
  const pid_t cli = ::fork();
  if (cli == 0) {
    ::dup2(pipeFds[0], STDIN_FILENO);
    ::close(pipeFds[1]);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDERR_FILENO);
    ::execl(zeftrace, zeftrace, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFds[0]);
  const auto start = Clock::now();
  const long lines = long(rate * seconds);
  std::string batch;
  for (long n = 0; n < lines; ++n) {
    batch += SoakLine('p', client, 0, n);
    batch += '\n';
    if (n % 16 == 15 || n + 1 == lines) {
      Pace(start, n + 1, rate);
      if (!WriteExactly(pipeFds[1], batch.data(), batch.size())) ::_exit(3);
      batch.clear();
    }
  }
  ::close(pipeFds[1]);
  int status = 0;
  ::waitpid(cli, &status, 0);
  ::_exit(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 4);
}

// "s3.17": the key of a client run in the log's lines.
std::string RunKey(char kind, int client, int run) {
  char key[32];
  std::snprintf(key, sizeof key, "%c%d.%d", kind, client, run);
  return key;
}

long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

// The log file and its rotated predecessors, newest first.
std::vector<std::string> LogFiles(const std::string& log) {
  std::vector<std::string> files;
  if (FileSize(log) >= 0) files.push_back(log);
  for (int k = 1; k < 100000; ++k) {
    const std::string rotated = log + "." + std::to_string(k);
    if (FileSize(rotated) < 0) break;
    files.push_back(rotated);
  }
  return files;
}

long LoggedBytes(const std::string& log) {
  long bytes = 0;
  for (const std::string& file : LogFiles(log)) bytes += FileSize(file);
  return bytes;
}

// How often each line of each client run is in the log files.
using Seen = std::map<std::string, std::vector<std::uint8_t>>;  // "s3.17" -> count per line number

void ReadLog(const std::string& log, Seen& seen, long& records, long& others) {
  for (const std::string& file : LogFiles(log)) {
    std::ifstream in(file, std::ios::binary);
    std::string record;
    while (std::getline(in, record)) {
      if (!record.empty() && record.back() == '\r') record.pop_back();
      ++records;
      char kind = 0;
      int client = 0, run = 0;
      long number = 0;
      if (std::sscanf(record.c_str(), "soak %c%d.%d %ld ", &kind, &client, &run, &number) != 4 || number < 0) {
        ++others;
        continue;
      }
      std::vector<std::uint8_t>& counts = seen[RunKey(kind, client, run)];
      if (counts.size() <= std::size_t(number)) counts.resize(std::size_t(number) + 1);
      if (counts[std::size_t(number)] < 255) ++counts[std::size_t(number)];
    }
  }
}

// Lines 0..sent-1 of `key` logged once each; line `sent` (in flight when
// killed) at most once when `inFlight`; none beyond. Returns the faults.
long Check(const Seen& seen, const std::string& key, long sent, bool inFlight) {
  static const std::vector<std::uint8_t> none;
  const auto it = seen.find(key);
  const std::vector<std::uint8_t>& counts = it == seen.end() ? none : it->second;
  long faults = 0;
  for (long n = 0; n < long(counts.size()) || n < sent; ++n) {
    const int count = n < long(counts.size()) ? counts[std::size_t(n)] : 0;
    const bool ok = n < sent ? count == 1 : (n == sent && inFlight ? count <= 1 : count == 0);
    if (!ok && faults++ < 5) std::printf("  %s line %ld logged %d times (sent: %ld)\n", key.c_str(), n, count, sent);
  }
  return faults;
}

bool ParseOptions(int argc, char** argv, SOptions& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    if (option == "--seconds") options.seconds = std::atof(value);
    else if (option == "--rate") options.nRate = std::atoi(value);
    else if (option == "--limit-mb") options.nLimitMB = std::atoi(value);
    else if (option == "--overhead-mb") options.nOverheadMB = std::atoi(value);
    else if (option == "--rotate-mb") options.nRotateMB = std::atoi(value);
    else if (option == "--monitor") options.strMonitor = value;
    else return false;
  }
  return argc % 2 == 1 && options.seconds > 0 && options.nRate >= kClients && options.nLimitMB > 0 &&
         options.nRotateMB > 0;
}

}  // namespace

int main(int argc, char** argv) {
  SOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: zef_bench_soak [--seconds N] [--rate LINES_PER_S] [--limit-mb N] [--overhead-mb N]\n"
                 "                      [--rotate-mb N] [--monitor PATH]\n");
    return 2;
  }
  char scratch[] = "/tmp/zef-soak-XXXXXX";
  if (!::mkdtemp(scratch)) return 1;
  const std::string root = scratch;
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string log = root + "/soak.log";
  const std::string settings = "QDraw=1\nLogToFile=1\nLogFile=" + log +
                               "\nHistoryLimitMB=" + std::to_string(options.nLimitMB) +
                               "\nLogRotateMB=" + std::to_string(options.nRotateMB) + "\nLogKeep=999";
  const SMonitor monitor = StartMonitor(options.strMonitor, root, "run", "config", settings);
  if (!monitor.nPid) return 1;
  ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
  const long baselineKiB = ResidentKiB(monitor.nPid);
  const long boundKiB = long(options.nLimitMB + options.nOverheadMB) * 1024;

  auto* shared = static_cast<SShared*>(
      ::mmap(nullptr, sizeof(SShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  if (shared == MAP_FAILED) return 1;
  const double perClient = double(options.nRate) / kClients;
  std::vector<pid_t> piped;
  for (int c = 0; c < kPiped; ++c) piped.push_back(StartPiped(c, perClient, options.seconds, ZEF_CLI));
  pid_t synchronous[kSynchronous];
  int runs[kSynchronous] = {};
  for (int c = 0; c < kSynchronous; ++c) synchronous[c] = StartSynchronous(shared, c, 0, perClient);

  std::printf(
      "soak: %d clients (%d synchronous, killed and restarted; %d piped through zeftrace), %d lines/s, "
      "limit %d MB, log rotated at %d MB; fails above %d MB resident (limit + %d MB overhead)\n",
      kClients, kSynchronous, kPiped, options.nRate, options.nLimitMB, options.nRotateMB,
      options.nLimitMB + options.nOverheadMB, options.nOverheadMB);
  std::printf("monitor resident at start: %.1f MB\n", baselineKiB / 1024.0);
  std::printf("%8s %12s %14s %14s\n", "seconds", "resident MB", "lines sent", "logged MB");
  std::mt19937 random(42);
  const auto start = Clock::now();
  long peakKiB = 0;
  bool alive = true;
  double nextReport = 10;
  double nextKill = 3;
  while (Seconds(start) < options.seconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (::waitpid(monitor.nPid, nullptr, WNOHANG) == monitor.nPid) {
      alive = false;
      break;
    }
    peakKiB = std::max(peakKiB, ResidentKiB(monitor.nPid));
    const double now = Seconds(start);
    if (now >= nextKill) {
      // A program under test dies in the middle of its work, and is run again.
      const int c = int(random() % kSynchronous);
      ::kill(synchronous[c], SIGKILL);
      ::waitpid(synchronous[c], nullptr, 0);
      if (runs[c] + 1 < kMaxRuns) synchronous[c] = StartSynchronous(shared, c, ++runs[c], perClient);
      nextKill = now + 1 + double(random() % 2000) / 1000;
    }
    if (now >= nextReport) {
      long sent = 0;
      for (int c = 0; c < kSynchronous; ++c)
        for (int r = 0; r <= runs[c]; ++r) sent += shared->taken[c][r].load();
      sent += long(std::min(now, options.seconds) * perClient * kPiped);  // paced: due by now
      std::printf("%8.0f %12.1f %14ld %14.1f\n", now, ResidentKiB(monitor.nPid) / 1024.0, sent,
                  LoggedBytes(log) / 1048576.0);
      std::fflush(stdout);
      nextReport += 10;
    }
  }
  for (int c = 0; c < kSynchronous; ++c) {
    ::kill(synchronous[c], SIGKILL);
    ::waitpid(synchronous[c], nullptr, 0);
  }
  bool pipedOk = true;
  for (pid_t p : piped) {
    int status = 0;
    ::waitpid(p, &status, 0);
    pipedOk = pipedOk && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (alive) peakKiB = std::max(peakKiB, ResidentKiB(monitor.nPid));

  Seen seen;
  long records = 0;
  long others = 0;
  ReadLog(log, seen, records, others);
  long sent = 0;
  long faults = 0;
  for (int c = 0; c < kSynchronous; ++c)
    for (int r = 0; r <= runs[c]; ++r) {
      const long taken = shared->taken[c][r].load();
      sent += taken;
      faults += Check(seen, RunKey('s', c, r), taken, true);
    }
  const long pipedLines = long(perClient * options.seconds);
  for (int c = 0; c < kPiped; ++c) faults += Check(seen, RunKey('p', c, 0), pipedLines, false);
  sent += pipedLines * kPiped;
  std::printf("lines sent %ld, log records %ld (%ld of the monitor's own) in %zu files; peak resident %.1f MB\n", sent,
              records, others, LogFiles(log).size(), peakKiB / 1024.0);

  bool ok = true;
  if (!alive) ok = false, std::printf("FAIL: the monitor went away\n");
  if (!pipedOk) ok = false, std::printf("FAIL: a zeftrace client did not end well\n");
  if (faults) ok = false, std::printf("FAIL: %ld lines missing from or doubled in the log files\n", faults);
  if (peakKiB > boundKiB)
    ok = false, std::printf("FAIL: resident memory %.1f MB above %.1f MB\n", peakKiB / 1024.0, boundKiB / 1024.0);
  if (alive) {
    ::close(monitor.nInput);
    ::kill(monitor.nPid, SIGTERM);
    ::waitpid(monitor.nPid, nullptr, 0);
  }
  std::string remove = "rm -rf '" + root + "'";
  if (std::system(remove.c_str()) != 0) ok = false;
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
