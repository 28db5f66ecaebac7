#include "platform/system/process.h"

#include "platform/system/textunits.h"

#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif
#ifndef SYS_pidfd_send_signal
#define SYS_pidfd_send_signal 424
#endif

namespace zef {

struct CToolhelpSnapshot {
  int nProcFd = -1;
  std::vector<std::uint32_t> pids;
  std::size_t nNext = 0;
};

namespace {

// The kernel's flag for its own threads (include/linux/sched.h).
constexpr unsigned long kPfKthread = 0x00200000;

// A /proc file is generated whole when read; the bound only stops a
// misbehaving file system from growing the buffer without end.
constexpr std::size_t kMaxProcFile = 256 * 1024;

bool ReadFileAt(int dirFd, const std::string& path, std::string* text) {
  const int fd = ::openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text->clear();
  char buffer[4096];
  bool ok = true;
  while (text->size() < kMaxProcFile) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    text->append(buffer, std::size_t(n));
  }
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

bool ParseDecimal(std::string_view text, std::uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + std::uint64_t(c - '0');
  }
  if (result > UINT32_MAX) return false;
  *value = std::uint32_t(result);
  return true;
}

// "Threads:\t<n>" of /proc/PID/status; 0 when the line is missing.
std::uint32_t ThreadsOfStatus(std::string_view status) {
  constexpr std::string_view kKey = "Threads:";
  std::size_t at = status.find(kKey);
  while (at != std::string_view::npos && at > 0 && status[at - 1] != '\n') at = status.find(kKey, at + 1);
  if (at == std::string_view::npos) return 0;
  std::size_t begin = at + kKey.size();
  while (begin < status.size() && (status[begin] == ' ' || status[begin] == '\t')) ++begin;
  std::size_t end = begin;
  while (end < status.size() && status[end] >= '0' && status[end] <= '9') ++end;
  std::uint32_t threads = 0;
  return ParseDecimal(status.substr(begin, end - begin), &threads) ? threads : 0;
}

// The command name of /proc/PID/stat, in square brackets for a kernel
// thread. The name is between the first '(' and the last ')': it may itself
// hold parentheses and spaces. Empty when the line does not parse.
QString CommandNameOfStat(std::string_view stat) {
  const std::size_t open = stat.find('(');
  const std::size_t close = stat.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return {};
  const QString name = QString::fromUtf8(stat.data() + open + 1, qsizetype(close - open - 1));
  // Fields after the name: state ppid pgrp session tty_nr tpgid flags ...
  std::string_view rest = stat.substr(close + 1);
  unsigned long flags = 0;
  for (int field = 0; field < 7; ++field) {
    const std::size_t begin = rest.find_first_not_of(' ');
    if (begin == std::string_view::npos) return name;
    rest.remove_prefix(begin);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    if (field == 6) flags = std::strtoul(std::string(rest.substr(0, end)).c_str(), nullptr, 10);
    rest.remove_prefix(end);
  }
  return (flags & kPfKthread) ? QLatin1Char('[') + name + QLatin1Char(']') : name;
}

// The name the snapshot shows for the process of /proc directory `dir`,
// made safe to show and cut to the entry's size. False when it cannot be
// read (the process has gone).
bool FileNameOf(int procFd, const std::string& dir, QString* name) {
  char link[PATH_MAX];
  const ssize_t length = ::readlinkat(procFd, (dir + "/exe").c_str(), link, sizeof link);
  if (length > 0) {
    const std::string_view path(link, std::size_t(length));
    const std::size_t slash = path.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    *name = QString::fromUtf8(base.data(), qsizetype(base.size()));
  } else {
    std::string stat;
    if (!ReadFileAt(procFd, dir + "/stat", &stat)) return false;
    *name = CommandNameOfStat(stat);
  }
  // The name is the program's own choice: it may hold controls or bidi
  // characters meant to forge or reorder the line it stands in.
  *name = CutToUnits(ShownText(*name), kMaxPath - 1);
  return true;
}

// False when the process is gone (or never was a process directory).
bool ReadEntry(int procFd, std::uint32_t pid, PROCESSENTRY32* entry) {
  const std::string dir = std::to_string(pid);
  std::string status;
  if (!ReadFileAt(procFd, dir + "/status", &status)) return false;
  QString name;
  if (!FileNameOf(procFd, dir, &name)) return false;

  std::memset(reinterpret_cast<char*>(entry) + sizeof entry->dwSize, 0, sizeof *entry - sizeof entry->dwSize);
  entry->th32ProcessID = pid;
  entry->cntThreads = ThreadsOfStatus(status);
  std::memcpy(entry->szExeFile, name.utf16(), std::size_t(name.size()) * sizeof(char16_t));
  entry->szExeFile[name.size()] = 0;
  return true;
}

bool ReadProcessIds(int procFd, std::vector<std::uint32_t>* pids) {
  const int dirFd = ::dup(procFd);
  if (dirFd < 0) return false;
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    const int saved = errno;
    ::close(dirFd);
    errno = saved;
    return false;
  }
  errno = 0;
  while (const dirent* item = ::readdir(dir)) {
    std::uint32_t pid = 0;
    if (ParseDecimal(item->d_name, &pid) && pid != 0) pids->push_back(pid);
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0) {
    errno = readError;
    return false;
  }
  std::sort(pids->begin(), pids->end());
  return true;
}

}  // namespace

HSNAPSHOT CreateToolhelp32Snapshot(std::uint32_t, std::uint32_t, const char* procRoot) {
  const int procFd = ::open(procRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (procFd < 0) return nullptr;
  auto* snapshot = new CToolhelpSnapshot;
  snapshot->nProcFd = procFd;
  if (!ReadProcessIds(procFd, &snapshot->pids)) {
    const int saved = errno;
    CloseToolhelp32Snapshot(snapshot);
    errno = saved;
    return nullptr;
  }
  return snapshot;
}

bool Process32First(HSNAPSHOT snapshot, PROCESSENTRY32* entry) {
  if (!snapshot || !entry) {
    errno = EINVAL;
    return false;
  }
  snapshot->nNext = 0;
  return Process32Next(snapshot, entry);
}

bool Process32Next(HSNAPSHOT snapshot, PROCESSENTRY32* entry) {
  if (!snapshot || !entry || entry->dwSize != sizeof(PROCESSENTRY32)) {
    errno = EINVAL;
    return false;
  }
  while (snapshot->nNext < snapshot->pids.size()) {
    if (ReadEntry(snapshot->nProcFd, snapshot->pids[snapshot->nNext++], entry)) return true;
  }
  errno = 0;
  return false;
}

bool CloseToolhelp32Snapshot(HSNAPSHOT snapshot) {
  if (!snapshot) {
    errno = EINVAL;
    return false;
  }
  ::close(snapshot->nProcFd);
  delete snapshot;
  return true;
}

CProcessHandle::~CProcessHandle() {
  if (m_nPidFd >= 0) ::close(m_nPidFd);
}

CProcessHandle::CProcessHandle(CProcessHandle&& other) noexcept
    : m_nProcessId(std::exchange(other.m_nProcessId, 0)), m_nPidFd(std::exchange(other.m_nPidFd, -1)) {}

CProcessHandle& CProcessHandle::operator=(CProcessHandle&& other) noexcept {
  if (this != &other) {
    if (m_nPidFd >= 0) ::close(m_nPidFd);
    m_nProcessId = std::exchange(other.m_nProcessId, 0);
    m_nPidFd = std::exchange(other.m_nPidFd, -1);
  }
  return *this;
}

CProcessHandle OpenProcess(std::uint32_t processId) {
  CProcessHandle handle;
  if (processId == 0 || processId > std::uint32_t(INT_MAX)) {
    errno = EINVAL;
    return handle;
  }
  const long fd = ::syscall(SYS_pidfd_open, pid_t(processId), 0u);
  if (fd >= 0) {
    handle.m_nPidFd = int(fd);
    handle.m_nProcessId = processId;
    return handle;
  }
  if (errno != ENOSYS) return handle;
  // No pidfds: the process exists when a null signal reaches it or is
  // refused for lack of permission.
  if (::kill(pid_t(processId), 0) == 0 || errno == EPERM) handle.m_nProcessId = processId;
  return handle;
}

namespace {

// Whether the process has ended, a zombie included. Without a pidfd, by
// its state in /proc: gone, zombie ('Z') or dead ('X').
bool HasEnded(int pidFd, std::uint32_t processId) {
  if (pidFd >= 0) {
    pollfd ready{pidFd, POLLIN, 0};
    return ::poll(&ready, 1, 0) > 0;
  }
  std::string stat;
  if (!ReadFileAt(AT_FDCWD, std::string(kProcRoot) + "/" + std::to_string(processId) + "/stat", &stat)) return true;
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return true;
  return stat[close + 2] == 'Z' || stat[close + 2] == 'X';
}

}  // namespace

bool GetProcessFileName(const CProcessHandle& process, std::u16string* name) {
  if (!process || !name) {
    errno = EINVAL;
    return false;
  }
  const int procFd = ::open(kProcRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (procFd < 0) return false;
  QString text;
  const bool read = FileNameOf(procFd, std::to_string(process.m_nProcessId), &text);
  ::close(procFd);
  // Read while the process still ran, the name is that process's own: its
  // id cannot have been given to another one before it ended.
  if (!read || HasEnded(process.m_nPidFd, process.m_nProcessId)) {
    errno = ESRCH;
    return false;
  }
  name->assign(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
  return true;
}

bool WaitForProcessExit(const CProcessHandle& process, int timeoutMs) {
  if (!process) {
    errno = EINVAL;
    return false;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (process.m_nPidFd >= 0) {
      // A pidfd turns readable when its process has ended.
      pollfd ready{process.m_nPidFd, POLLIN, 0};
      const int polled = ::poll(&ready, 1, int(std::max<long long>(0, left)));
      if (polled > 0) return true;
      if (polled < 0 && errno != EINTR) return false;
    } else if (HasEnded(-1, process.m_nProcessId)) {
      return true;
    } else if (left > 0) {
      ::usleep(10000);
    }
    if (Clock::now() >= deadline) {
      errno = ETIMEDOUT;
      return false;
    }
  }
}

bool TerminateProcess(const CProcessHandle& process, std::uint32_t) {
  if (!process) {
    errno = EINVAL;
    return false;
  }
  if (process.m_nPidFd >= 0) return ::syscall(SYS_pidfd_send_signal, process.m_nPidFd, SIGKILL, nullptr, 0u) == 0;
  return ::kill(pid_t(process.m_nProcessId), SIGKILL) == 0;
}

}  // namespace zef
