// The widgets of a dialog template's controls: one per DialogControl, made
// as the handheld's dialog manager makes them (push buttons, auto check
// boxes, edits, group boxes, texts and icons), placed in dialog units and
// styled from the control's style bits. CDialog builds its client area with
// a CControlBuilder and keeps what it returns.
#pragma once

#include "res/dialogtemplates.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <functional>
#include <string_view>

class QAbstractButton;
class QLabel;
class QObject;
class QWidget;

namespace zef {

// The text of a template (captions, font names) as a QString.
QString ToQString(std::u16string_view text);

class CControlBuilder {
 public:
  // Controls become children of `parent` in `font`; a click on a button or
  // check box calls `onCommand` with the control's id while `receiver` lives.
  CControlBuilder(QWidget& parent, const QFont& font, QObject& receiver, std::function<void(int)> onCommand);

  // Makes the widget of `control` at `rect` (pixels in the parent), in
  // template order: a text with a mnemonic becomes the buddy label of the
  // next control that takes the focus by tab. A control with an id other
  // than IDC_STATIC is named "control<id>".
  QWidget* Add(const DialogControl& control, const QRect& rect);

 private:
  QWidget* AddPushButton(const DialogControl& control, const QString& caption);
  QWidget* AddCheckBox(const DialogControl& control, const QString& caption);
  QWidget* AddEdit(const DialogControl& control);
  QWidget* AddGroupBox(const QString& caption);
  QWidget* AddStatic(const DialogControl& control, const QString& caption);
  QWidget* AddIcon(const QString& caption);
  void Place(QWidget& widget, const DialogControl& control, QRect rect);
  void ConnectCommand(QAbstractButton& button, int id);

  QWidget& m_parent;
  QFont m_font;
  QObject& m_receiver;
  std::function<void(int)> m_onCommand;
  QLabel* m_pPendingBuddyLabel = nullptr;
};

}  // namespace zef
