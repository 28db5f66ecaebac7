#include "explore/windowlist.h"

#include "explore/selection.h"
#include "platform/system/errors.h"

#include <zeftrace/trace.h>

namespace zef {

QStringList WindowLines;

void ZEFMON_EnumWindows(ITopLevelWindows& windows) {
  CTraceScope scope("ZEFMON_EnumWindows()");
  WindowLines = QStringList();
  std::vector<CTopLevelWindow> found;
  const bool enumerated = windows.EnumWindows(found, kWindowTextUnits);
  const std::uint32_t error = GetLastError();
  WindowLines.reserve(qsizetype(found.size()));
  for (const CTopLevelWindow& window : found)
    WindowLines.append(
        QStringLiteral("hwnd=%1, class=%2, name='%3'").arg(FormatHex4(window.hWnd), window.strClass, window.strText));
  if (!enumerated) scope.PrintF("Failed to enum windows. HRESULT: 0x%04x", error);
  for (const QString& line : WindowLines) scope.Print(TraceView(line));
}

void ZEFMON_CloseWindow(ITopLevelWindows& windows, std::uint32_t hWnd) {
  CTraceScope scope("ZEFMON_CloseWindow()");
  if (!windows.IsWindow(hWnd) || !windows.CloseWindow(hWnd))
    scope.PrintF("Failed to close window. HRESULT: 0x%04x", GetLastError());
}

}  // namespace zef
