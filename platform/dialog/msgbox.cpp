#include "platform/dialog/msgbox.h"

#include "res/resource.h"
#include "res/stringtable.h"

#include <QMessageBox>
#include <QPushButton>

namespace zef {
namespace {

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

QMessageBox::Icon IconOf(std::uint32_t style) {
  switch (style & 0xF0) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONASTERISK:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

int MessageBox(QWidget* parent, const QString& text, std::uint32_t style) {
  const MessageBoxRequest request{text, AppName(), style};
  if (Hook()) return Hook()(request);

  QMessageBox box(IconOf(style), request.caption, QString(), QMessageBox::NoButton, parent);
  // Boxes show lines, names and records as they are: "<b>" or "&lt;" in a
  // traced line is text, never markup. Set before the text, which QMessageBox
  // would otherwise classify on assignment.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  switch (style & 0x0F) {
    case MB_YESNO:
      box.addButton(QMessageBox::Yes);
      box.addButton(QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case MB_OKCANCEL:
      box.addButton(QMessageBox::Ok);
      box.addButton(QMessageBox::Cancel);
      break;
    default:
      box.addButton(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      return (style & 0x0F) == MB_YESNO ? IDNO : IDOK;
  }
}

int MessageBoxFromTable(QWidget* parent, std::uint32_t id, std::uint32_t style, const QString& arg1,
                        const QString& arg2) {
  return MessageBox(parent, FormatString(LoadString(id), arg1, arg2), style);
}

}  // namespace zef
