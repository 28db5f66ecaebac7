// The process tools' traced operations. Both write through the trace
// channel, between the enter and leave lines of a scope named after them.
#pragma once

#include "platform/system/process.h"

#include <cstdint>

namespace zef {

// One line "pid=0x%x, threads=%d, <file name>" per process, ascending by id;
// "Failed to enum processes. HRESULT: 0x%04x" with the error when the
// process list cannot be read. `procRoot` is where the list is read from.
void ZEFMON_EnumProcesses(const char* procRoot = kProcRoot);

// Kills the process; "Process 0x%04x terminated." once the kill is sent,
// "Failed to open process. HRESULT: 0x%04x" when there is no such process,
// "Failed to terminate process. HRESULT: 0x%04x" when the kill is refused.
void ZEFMON_TerminateProcess(std::uint32_t processId);

}  // namespace zef
