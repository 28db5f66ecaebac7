// The top-level windows of the desktop as the window tools see them: a walk
// that reads each window's title and class, the existence test, and the
// polite close request. One implementation talks to the X server, another
// stands for the program's own windows where there is none.
//
// Failures leave their errno for GetLastError() (platform/system/errors.h).
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace zef {

struct CTopLevelWindow {
  std::uint32_t hWnd = 0;
  QString strText;   // the title; empty when there is none or it cannot be read
  QString strClass;  // the class name; empty likewise
};

class ITopLevelWindows {
 public:
  virtual ~ITopLevelWindows() = default;

  // Appends every top-level window, in the system's order, with its title
  // and class each shown as ShownText shows other programs' text
  // (platform/system/textunits.h) and cut to `maxUnits` UTF-16 units. A window that has gone by
  // the time its texts are read is left out. False when the walk failed;
  // the windows read before the failure are appended all the same.
  virtual bool EnumWindows(std::vector<CTopLevelWindow>& windows, int maxUnits) = 0;

  // True while `hWnd` names an existing window; otherwise false with ENXIO
  // (or the errno of a failed connection).
  virtual bool IsWindow(std::uint32_t hWnd) = 0;

  // Asks the window to close, as its window manager's close button would:
  // the window decides whether and how. Returns once the request is taken;
  // false with ENXIO when the window no longer exists, with ENOTSUP when
  // there is no way to ask it.
  virtual bool CloseWindow(std::uint32_t hWnd) = 0;
};

}  // namespace zef
