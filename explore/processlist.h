// The process tools' traced operations. Both write through the trace
// channel, between the enter and leave lines of a scope named after them.
#pragma once

#include "platform/system/process.h"

#include <cstdint>
#include <string_view>

namespace zef {

// One line "pid=0x%x, threads=%d, <file name>" per process, ascending by id;
// "Failed to enum processes. HRESULT: 0x%04x" with the error when the
// process list cannot be read. `procRoot` is where the list is read from.
void ZEFMON_EnumProcesses(const char* procRoot = kProcRoot);

// Kills the process `processId` when it still has the file name
// `expectedName` (as the listing shows it), and waits up to
// kTerminateWaitMs for it to end. "Process 0x%04x terminated." once it has
// ended; "pid 0x%04x is now NAME, not EXPECTED: nothing terminated" when
// another program has the id now; "Failed to open process. HRESULT: 0x%04x"
// when there is no such process (ESRCH also for one that has already
// ended, a zombie); "Failed to terminate process. HRESULT: 0x%04x" when the
// kill is refused, or with ETIMEDOUT when the process still runs after the
// wait.
void ZEFMON_TerminateProcess(std::uint32_t processId, std::u16string_view expectedName);

// Long enough for a killed process to free a large address space; short
// enough for the user interface, which waits with it.
inline constexpr int kTerminateWaitMs = 2000;

}  // namespace zef
