#include "explore/selection.h"

namespace zef {
namespace {

bool IsBlank(QChar c) {
  const char16_t u = c.unicode();
  return u == u' ' || u == u'\t' || u == u'\n' || u == u'\v' || u == u'\f' || u == u'\r';
}

int HexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

std::uint32_t ParseHex(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  // The prefix counts only before a digit; "0xg" reads as the "0".
  if (i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
      HexDigit(text[i + 2]) >= 0)
    i += 2;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) break;
    value = value * 16 + std::uint64_t(digit);
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return std::uint32_t(value);
}

}  // namespace

std::uint32_t IdAfterKey(QStringView line, QStringView key) {
  const qsizetype at = line.indexOf(key);
  if (at <= 0) return 0;
  const qsizetype begin = at + key.size();
  const qsizetype comma = line.indexOf(u',', begin);
  if (comma <= begin) return 0;
  return ParseHex(line.mid(begin, comma - begin));
}

std::uint32_t ProcessIdOfLine(QStringView line) { return IdAfterKey(line, u"pid="); }

std::uint32_t WindowHandleOfLine(QStringView line) { return IdAfterKey(line, u"hwnd="); }

QString FormatHex4(std::uint32_t value) {
  return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

}  // namespace zef
