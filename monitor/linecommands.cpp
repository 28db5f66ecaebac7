#include "monitor/linecommands.h"

namespace zef {
namespace {

QStringView TrimLeadingSpace(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  return text.mid(i);
}

}  // namespace

QString LeaveKeyOfEnterLine(QStringView enterLine) {
  QStringView key = enterLine;
  while (!key.isEmpty() && key.back() == u'{') key.chop(1);
  while (!key.isEmpty() && key.back() == u' ') key.chop(1);
  key = TrimLeadingSpace(key);
  return QStringLiteral("} ") + key.toString();
}

QString EnterKeyOfLeaveLine(QStringView leaveLine) {
  QStringView key = TrimLeadingSpace(leaveLine);
  while (!key.isEmpty() && key.front() == u'}') key = key.mid(1);
  key = TrimLeadingSpace(key);
  const qsizetype paren = key.indexOf(u')');
  key = paren < 0 ? QStringView() : key.left(paren + 1);
  return key.toString() + QStringLiteral(" {");
}

}  // namespace zef
