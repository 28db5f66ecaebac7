// A monitor as a separate process for the benchmarks that drive it from
// outside: started with a private runtime, home and config directory, and
// measured through /proc (processor time, resident memory).
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace zef::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

inline bool ReadExactly(int fd, void* data, size_t size) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = ::read(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

inline bool WriteExactly(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
  }
  return true;
}

// Processor time of a process, user and system, in microseconds.
struct SCpu {
  double user = 0;
  double system = 0;
};

inline SCpu CpuOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  // Fields after the command name, which is in parentheses and may hold spaces.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long long ticks[2] = {0, 0};
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) ticks[0] = std::stoll(field);
    if (i == 15) ticks[1] = std::stoll(field);
  }
  const double us = 1e6 / double(::sysconf(_SC_CLK_TCK));
  return {double(ticks[0]) * us, double(ticks[1]) * us};
}

inline SCpu operator-(SCpu a, SCpu b) { return {a.user - b.user, a.system - b.system}; }

inline long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string word;
  while (status >> word)
    if (word == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  return 0;
}

inline int Connect(const std::string& socketPath) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline bool MonitorAnswers(const std::string& socketPath) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

struct SMonitor {
  pid_t nPid = 0;   // 0: it did not come up
  int nInput = -1;  // its standard input (the test host quits at its end)
};

// Starts `monitor` with the runtime and config directories `runtime` and
// `config` under `root`, its Init.Monitor section holding `monitorSettings`
// (lines "Key=value"), and waits until its socket answers.
inline SMonitor StartMonitor(const std::string& monitor, const std::string& root, const std::string& runtime,
                             const std::string& config, const std::string& monitorSettings) {
  const std::string runtimeDir = root + "/" + runtime, configDir = root + "/" + config;
  ::mkdir(runtimeDir.c_str(), 0700);
  ::mkdir(configDir.c_str(), 0700);
  ::mkdir((configDir + "/Quorbel").c_str(), 0700);
  if (FILE* conf = std::fopen((configDir + "/Quorbel/ZEFMON.conf").c_str(), "w")) {
    std::fprintf(conf, "[Init.Monitor]\n%s\n", monitorSettings.c_str());
    std::fclose(conf);
  }
  int input[2];
  if (::pipe(input) != 0) return {};
  const pid_t host = ::fork();
  if (host == 0) {
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", configDir.c_str(), 1);
    ::dup2(input[0], STDIN_FILENO);
    ::close(input[1]);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDOUT_FILENO);
    ::execl(monitor.c_str(), monitor.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(input[0]);
  // The monitor is a separate program with no ready signal of its own:
  // poll its socket until it answers.
  const std::string socketPath = runtimeDir + "/zef/ZEF.sock";
  const auto waitStart = Clock::now();
  while (!MonitorAnswers(socketPath)) {
    if (Seconds(waitStart) > 30 || ::waitpid(host, nullptr, WNOHANG) == host) {
      std::fprintf(stderr, "%s did not come up\n", monitor.c_str());
      return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {host, input[1]};
}

}  // namespace zef::bench
