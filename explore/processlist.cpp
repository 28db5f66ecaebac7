#include "explore/processlist.h"

#include "explore/selection.h"
#include "platform/system/errors.h"
#include "platform/system/textunits.h"

#include <zeftrace/trace.h>

namespace zef {

void ZEFMON_EnumProcesses(const char* procRoot) {
  CTraceScope scope("ZEFMON_EnumProcesses()");
  const HSNAPSHOT snapshot = CreateToolhelp32Snapshot(
      TH32CS_SNAPHEAPLIST | TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD | TH32CS_SNAPMODULE, 0, procRoot);
  if (!snapshot) {
    scope.PrintF("Failed to enum processes. HRESULT: 0x%04x", GetLastError());
    return;
  }
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (bool more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    const QString line = QStringLiteral("pid=0x%1, threads=%2, %3")
                             .arg(QString::number(entry.th32ProcessID, 16), QString::number(entry.cntThreads),
                                  QString::fromUtf16(entry.szExeFile));
    scope.Print(TraceView(line));
  }
  CloseToolhelp32Snapshot(snapshot);
}

void ZEFMON_TerminateProcess(std::uint32_t processId, std::u16string_view expectedName) {
  CTraceScope scope("ZEFMON_TerminateProcess()");
  // The handle holds the process: from here on the id cannot pass to
  // another process unnoticed, so the name checked is the one killed.
  const CProcessHandle process = OpenProcess(processId);
  std::u16string name;
  if (!process || !GetProcessFileName(process, &name)) {
    scope.PrintF("Failed to open process. HRESULT: 0x%04x", GetLastError());
    return;
  }
  if (name != expectedName) {
    const QString line = QStringLiteral("pid %1 is now %2, not %3: nothing terminated")
                             .arg(FormatHex4(processId), QString::fromStdU16String(name),
                                  ShownText(QStringView(expectedName.data(), qsizetype(expectedName.size()))));
    scope.Print(TraceView(line));
    return;
  }
  if (TerminateProcess(process, 0) && WaitForProcessExit(process, kTerminateWaitMs))
    scope.PrintF("Process 0x%04x terminated.", processId);
  else scope.PrintF("Failed to terminate process. HRESULT: 0x%04x", GetLastError());
}

}  // namespace zef
