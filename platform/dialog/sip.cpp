#include "platform/dialog/sip.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QScreen>

namespace zef {

bool SipGetInfo(SIPINFO* info) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || !info) return false;
  const QRect available = screen->availableGeometry();
  const QInputMethod* im = QGuiApplication::inputMethod();
  const QRectF keyboard = im ? im->keyboardRectangle() : QRectF();
  const bool shown = im && im->isVisible() && !keyboard.isEmpty();

  SIPINFO result;
  result.cbSize = info->cbSize;
  result.fdwFlags = shown ? SIPF_ON : SIPF_OFF;
  const int panelTop = shown ? std::max(available.top(), int(keyboard.top())) : available.bottom() + 1;
  result.rcVisibleDesktop = {available.left(), available.top(), available.right() + 1, panelTop};
  result.rcSipRect = shown ? RECT{int(keyboard.left()), panelTop, int(keyboard.right()), available.bottom() + 1}
                           : RECT{available.left(), panelTop, available.right() + 1, available.bottom() + 1};
  *info = result;
  return true;
}

bool SipShowIM(std::uint32_t flags) {
  QInputMethod* im = QGuiApplication::inputMethod();
  if (!im) return false;
  if (flags & SIPF_ON) im->show();
  else im->hide();
  return true;
}

CSettingChangeSource::CSettingChangeSource(QObject* parent) : QObject(parent) {
  if (QInputMethod* im = QGuiApplication::inputMethod()) {
    connect(im, &QInputMethod::visibleChanged, this, &CSettingChangeSource::settingChange);
    connect(im, &QInputMethod::keyboardRectangleChanged, this, &CSettingChangeSource::settingChange);
  }
  if (QScreen* screen = QGuiApplication::primaryScreen())
    connect(screen, &QScreen::availableGeometryChanged, this, &CSettingChangeSource::settingChange);
}

}  // namespace zef
