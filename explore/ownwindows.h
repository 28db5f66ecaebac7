// The program's own top-level windows, standing for the desktop's where the
// program does not run on an X server (offscreen, Wayland without X): it
// knows nothing true to say about other programs' windows, so it names none.
#pragma once

#include "platform/x11/toplevelwindows.h"

#include <memory>

namespace zef {

// Handles are the windows' native ids; the class is the widget's class name.
class COwnTopLevelWindows final : public ITopLevelWindows {
 public:
  bool EnumWindows(std::vector<CTopLevelWindow>& windows, int maxUnits) override;
  bool IsWindow(std::uint32_t hWnd) override;
  // Closes the window as its close button would (the main window asks
  // first, when that option is on); returns after it decided.
  bool CloseWindow(std::uint32_t hWnd) override;
};

// The desktop's windows through the X server when the program's windows are
// on one, else the program's own.
std::unique_ptr<ITopLevelWindows> OpenDesktopWindows();

}  // namespace zef
