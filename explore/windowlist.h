// The window tools' traced operations, over the desktop's top-level windows.
// Both write through the trace channel, between the enter and leave lines
// of a scope named after them.
#pragma once

#include "platform/x11/toplevelwindows.h"

#include <QStringList>

#include <cstdint>

namespace zef {

// A window's title and class are each cut to this many UTF-16 units.
inline constexpr int kWindowTextUnits = 86;

// The lines of the last listing, kept until the next one empties it.
extern QStringList WindowLines;

// Reads every top-level window first, then prints one line
// "hwnd=0x%04x, class=<class>, name='<title>'" per window; when the walk
// fails, "Failed to enum windows. HRESULT: 0x%04x" comes before the lines
// read until then.
void ZEFMON_EnumWindows(ITopLevelWindows& windows);

// Asks the window to close; the window decides. Nothing is printed once the
// request is sent; when `hWnd` names no window, or nothing can carry the
// request, "Failed to close window. HRESULT: 0x%04x".
void ZEFMON_CloseWindow(ITopLevelWindows& windows, std::uint32_t hWnd);

}  // namespace zef
