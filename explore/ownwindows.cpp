#include "explore/ownwindows.h"

#include "platform/system/textunits.h"
#include "platform/x11/x11windows.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cerrno>

namespace zef {
namespace {

std::uint32_t HandleOf(const QWidget* window) { return std::uint32_t(window->winId()); }

// Visible top-level windows in the order they were made native.
QList<QWidget*> ShownWindows() {
  QList<QWidget*> shown;
  const QWidgetList all = QApplication::topLevelWidgets();
  for (QWidget* widget : all)
    if (widget->isWindow() && widget->isVisible()) shown.append(widget);
  std::sort(shown.begin(), shown.end(), [](QWidget* a, QWidget* b) { return a->winId() < b->winId(); });
  return shown;
}

QWidget* FindShown(std::uint32_t hWnd) {
  if (hWnd == 0) return nullptr;
  const QList<QWidget*> shown = ShownWindows();
  const auto it = std::find_if(shown.begin(), shown.end(), [hWnd](QWidget* w) { return HandleOf(w) == hWnd; });
  return it == shown.end() ? nullptr : *it;
}

}  // namespace

bool COwnTopLevelWindows::EnumWindows(std::vector<CTopLevelWindow>& windows, int maxUnits) {
  const QList<QWidget*> shown = ShownWindows();
  for (QWidget* widget : shown)
    windows.push_back({HandleOf(widget), CutToUnits(ShownText(widget->windowTitle()), maxUnits),
                       CutToUnits(QString::fromLatin1(widget->metaObject()->className()), maxUnits)});
  return true;
}

bool COwnTopLevelWindows::IsWindow(std::uint32_t hWnd) {
  if (FindShown(hWnd)) return true;
  errno = ENXIO;
  return false;
}

bool COwnTopLevelWindows::CloseWindow(std::uint32_t hWnd) {
  QWidget* window = FindShown(hWnd);
  if (!window) {
    errno = ENXIO;
    return false;
  }
  window->close();
  return true;
}

std::unique_ptr<ITopLevelWindows> OpenDesktopWindows() {
  if (QGuiApplication::platformName() == QLatin1String("xcb")) return std::make_unique<CX11Windows>();
  return std::make_unique<COwnTopLevelWindows>();
}

}  // namespace zef
