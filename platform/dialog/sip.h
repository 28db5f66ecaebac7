// The input panel: Qt's input method and the screen's available geometry.
#pragma once

#include <QObject>

#include <cstdint>

namespace zef {

struct RECT {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

enum : std::uint32_t { SIPF_OFF = 0, SIPF_ON = 1 };

struct SIPINFO {
  std::uint32_t cbSize = sizeof(SIPINFO);
  std::uint32_t fdwFlags = 0;  // SIPF_ON while the panel is shown
  RECT rcVisibleDesktop;       // the part of the screen that windows may use
  RECT rcSipRect;              // where the panel is (or would be) shown
};

// Reads the panel's state. False, leaving *info untouched, when there is no
// screen to read it from.
bool SipGetInfo(SIPINFO* info);
// Shows (SIPF_ON) or hides (SIPF_OFF) the panel.
bool SipShowIM(std::uint32_t flags);

// Emits settingChange() whenever the panel is shown or hidden, the panel's
// rectangle changes, or the screen's available geometry changes: the
// desktop's WM_SETTINGCHANGE.
class CSettingChangeSource : public QObject {
  Q_OBJECT
 public:
  explicit CSettingChangeSource(QObject* parent = nullptr);
 signals:
  void settingChange();
};

}  // namespace zef
