#include "explore/selection.h"

#include <climits>

namespace zef {
namespace {

bool IsBlank(QChar c) {
  const char16_t u = c.unicode();
  return u == u' ' || u == u'\t' || u == u'\n' || u == u'\v' || u == u'\f' || u == u'\r';
}

int DigitOf(QChar c, int base) {
  const char16_t u = c.unicode();
  int digit = -1;
  if (u >= u'0' && u <= u'9') digit = u - u'0';
  else if (u >= u'a' && u <= u'f') digit = u - u'a' + 10;
  else if (u >= u'A' && u <= u'F') digit = u - u'A' + 10;
  return digit < base ? digit : -1;
}

std::uint32_t ParseHex(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  // The prefix counts only before a digit; "0xg" reads as the "0".
  if (i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
      DigitOf(text[i + 2], 16) >= 0)
    i += 2;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitOf(text[i], 16);
    if (digit < 0) break;
    value = value * 16 + std::uint64_t(digit);
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return std::uint32_t(value);
}

// A reader of the listings' fixed formats: each step either takes exactly
// what it expects at the current place and moves past it, or fails.
class CLineReader {
 public:
  explicit CLineReader(QStringView text) : m_text(text) {}

  bool Take(QStringView literal) {
    if (!m_text.mid(m_nAt).startsWith(literal)) return false;
    m_nAt += literal.size();
    return true;
  }
  // 1 to `maxDigits` digits of `base`, as many as there are; no sign.
  bool TakeNumber(int base, int maxDigits, std::uint64_t* value) {
    *value = 0;
    int digits = 0;
    for (; m_nAt < m_text.size(); ++m_nAt, ++digits) {
      const int digit = DigitOf(m_text[m_nAt], base);
      if (digit < 0) break;
      if (digits == maxDigits) return false;
      *value = *value * std::uint64_t(base) + std::uint64_t(digit);
    }
    return digits > 0;
  }
  QStringView Rest() const { return m_text.mid(m_nAt); }

 private:
  QStringView m_text;
  qsizetype m_nAt = 0;
};

}  // namespace

std::uint32_t IdAfterKey(QStringView ownText, QStringView key) {
  if (!ownText.startsWith(key)) return 0;
  const qsizetype comma = ownText.indexOf(u',', key.size());
  if (comma <= key.size()) return 0;
  return ParseHex(ownText.mid(key.size(), comma - key.size()));
}

std::optional<SProcessLine> ParseProcessLine(QStringView ownText) {
  CLineReader reader(ownText);
  std::uint64_t pid = 0;
  std::uint64_t threads = 0;
  if (!reader.Take(u"pid=0x") || !reader.TakeNumber(16, 8, &pid) || pid == 0 || !reader.Take(u", threads=") ||
      !reader.TakeNumber(10, 10, &threads) || !reader.Take(u", ") || reader.Rest().isEmpty())
    return std::nullopt;
  return SProcessLine{std::uint32_t(pid), reader.Rest().toString()};
}

std::uint32_t ProcessIdOfLine(QStringView ownText) {
  const std::optional<SProcessLine> line = ParseProcessLine(ownText);
  return line ? line->nProcessId : 0;
}

std::uint32_t WindowHandleOfLine(QStringView ownText) { return IdAfterKey(ownText, u"hwnd="); }

QString DatabaseNameOfLine(QStringView ownText) {
  const qsizetype tail = ownText.lastIndexOf(u'"');
  if (!ownText.startsWith(u'"') || tail < 2) return QString();
  CLineReader reader(ownText.mid(tail));
  std::uint64_t number = 0;
  if (!reader.Take(u"\" type=")) return QString();
  reader.Take(u"-");
  if (!reader.TakeNumber(10, 10, &number) || !reader.Take(u" records=") || !reader.TakeNumber(10, 20, &number) ||
      !reader.Take(u", size=") || !reader.TakeNumber(10, 20, &number) || !reader.Take(u" KB") ||
      !reader.Rest().isEmpty())
    return QString();
  return ownText.mid(1, tail - 1).toString();
}

std::optional<int> RecordPositionOfLine(QStringView ownText) {
  CLineReader reader(ownText);
  std::uint64_t position = 0;
  std::uint64_t count = 0;
  std::uint64_t size = 0;
  if (!reader.TakeNumber(10, 10, &position) || position > std::uint64_t(INT_MAX) || !reader.Take(u": [") ||
      !reader.TakeNumber(10, 10, &count) || !reader.Take(u",") || !reader.TakeNumber(10, 10, &size) ||
      !reader.Take(u"]"))
    return std::nullopt;
  return int(position);
}

SRecordSelection ParseRecordSelection(QStringView upperOwnText, QStringView lowerOwnText) {
  return {DatabaseNameOfLine(upperOwnText), RecordPositionOfLine(lowerOwnText).value_or(-1)};
}

QString FormatHex4(std::uint32_t value) { return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0')); }

}  // namespace zef
