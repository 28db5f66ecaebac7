// Processes of the machine: the toolhelp snapshot over /proc, and opening and
// ending a process through a pidfd.
//
// Failures leave their errno for GetLastError() (platform/system/errors.h).
#pragma once

#include <cstdint>
#include <string>

namespace zef {

// CreateToolhelp32Snapshot flags. Only the process list is taken, whatever
// is asked for.
inline constexpr std::uint32_t TH32CS_SNAPHEAPLIST = 0x1;
inline constexpr std::uint32_t TH32CS_SNAPPROCESS = 0x2;
inline constexpr std::uint32_t TH32CS_SNAPTHREAD = 0x4;
inline constexpr std::uint32_t TH32CS_SNAPMODULE = 0x8;

inline constexpr int kMaxPath = 260;

// The handheld's process entry, field for field. Callers set dwSize to
// sizeof(PROCESSENTRY32) before the first call; the walk fills
// th32ProcessID, cntThreads and szExeFile and zeroes the rest.
struct PROCESSENTRY32 {
  std::uint32_t dwSize;
  std::uint32_t cntUsage;
  std::uint32_t th32ProcessID;
  std::uint32_t th32DefaultHeapID;
  std::uint32_t th32ModuleID;
  std::uint32_t cntThreads;
  std::uint32_t th32ParentProcessID;
  std::int32_t pcPriClassBase;
  std::uint32_t dwFlags;
  // Zero-terminated; a longer name is cut to kMaxPath - 1 UTF-16 units.
  char16_t szExeFile[kMaxPath];
  std::uint32_t th32MemoryBase;
  std::uint32_t th32AccessKey;
};
static_assert(sizeof(PROCESSENTRY32) == 564, "the entry's size is part of the walk's contract");

// Where the process file system is mounted.
inline constexpr char kProcRoot[] = "/proc";

struct CToolhelpSnapshot;
using HSNAPSHOT = CToolhelpSnapshot*;

// Takes the list of process ids under `procRoot`, ascending. Null when the
// directory cannot be read. Each entry is read when the walk reaches it: a
// process that has ended by then is skipped.
HSNAPSHOT CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId, const char* procRoot = kProcRoot);

// The first or next process that still exists, filled into `entry`. False at
// the end of the list, or with EINVAL when dwSize is not the entry's size.
//
// The file name is the base name of the process's executable; where that
// cannot be read (another user's process, a kernel thread, a zombie) it is
// the command name, a kernel thread's in square brackets as ps shows it.
// Either is the program's own choice, so it is given as ShownText shows it
// (platform/system/textunits.h): no control or invisible format character.
bool Process32First(HSNAPSHOT snapshot, PROCESSENTRY32* entry);
bool Process32Next(HSNAPSHOT snapshot, PROCESSENTRY32* entry);
bool CloseToolhelp32Snapshot(HSNAPSHOT snapshot);

// An open process: a pidfd, so that a process id reused after the open
// cannot redirect a later call to another process. Where the kernel has no
// pidfds, the bare id (open then only checks that the process exists).
class CProcessHandle {
 public:
  CProcessHandle() = default;
  ~CProcessHandle();
  CProcessHandle(CProcessHandle&& other) noexcept;
  CProcessHandle& operator=(CProcessHandle&& other) noexcept;
  CProcessHandle(const CProcessHandle&) = delete;
  CProcessHandle& operator=(const CProcessHandle&) = delete;

  explicit operator bool() const { return m_nProcessId != 0; }
  std::uint32_t ProcessId() const { return m_nProcessId; }

 private:
  friend CProcessHandle OpenProcess(std::uint32_t processId);
  friend bool TerminateProcess(const CProcessHandle& process, std::uint32_t exitCode);
  friend bool GetProcessFileName(const CProcessHandle& process, std::u16string* name);
  friend bool WaitForProcessExit(const CProcessHandle& process, int timeoutMs);
  std::uint32_t m_nProcessId = 0;
  int m_nPidFd = -1;
};

// An empty handle on failure: ESRCH for a process that does not exist,
// EINVAL for 0 or an id beyond the kernel's range.
CProcessHandle OpenProcess(std::uint32_t processId);

// Sends SIGKILL; the process ends when the kernel delivers it: at once,
// unless it is stuck in the kernel or is the init of a pid namespace seen
// from inside it (which ignores the signal). WaitForProcessExit tells when
// it has. `exitCode` cannot be chosen on this
// system: a killed process's status is "killed by SIGKILL". False with EPERM
// for a process of another user (without the privilege), ESRCH when it is
// gone.
bool TerminateProcess(const CProcessHandle& process, std::uint32_t exitCode);

// The file name the snapshot gives the open process (see Process32Next),
// read now. False with ESRCH when the process has ended, a zombie included:
// a name read then could be another process's.
bool GetProcessFileName(const CProcessHandle& process, std::u16string* name);

// Waits up to `timeoutMs` for the process to end; true once it has. A
// zombie has ended (only its parent has not collected its status yet).
// False with ETIMEDOUT while it still runs.
bool WaitForProcessExit(const CProcessHandle& process, int timeoutMs);

}  // namespace zef
