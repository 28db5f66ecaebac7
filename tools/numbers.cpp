#include "tools/numbers.h"

#include <algorithm>

namespace zef {
namespace {

bool IsCSpace(char16_t unit) { return unit == u' ' || (unit >= u'\t' && unit <= u'\r'); }

// The digit value of `unit`, or 36 when it is no digit at all.
int DigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'z') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'Z') return unit - u'A' + 10;
  return 36;
}

}  // namespace

CParsedNumber ParseNumber(QStringView text, int radix) {
  CParsedNumber result;
  qsizetype i = 0;
  const qsizetype size = text.size();
  while (i < size && IsCSpace(text[i].unicode())) ++i;
  bool negative = false;
  if (i < size && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  // "0x" counts as a prefix only when a digit follows; otherwise the "0" is
  // the number and parsing stops at the "x".
  if (radix == 16 && i + 2 < size && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
      DigitValue(text[i + 2].unicode()) < 16)
    i += 2;

  // The magnitude stops growing beyond the range: digits are still taken,
  // so the stop index is the same as for a number in range.
  constexpr quint64 kCap = quint64(kMaxNumber) + 1;
  quint64 magnitude = 0;
  const qsizetype firstDigit = i;
  for (; i < size; ++i) {
    const int digit = DigitValue(text[i].unicode());
    if (digit >= radix) break;
    magnitude = std::min<quint64>(kCap, magnitude * quint64(radix) + quint64(digit));
  }
  if (i == firstDigit) return result;  // no number: value 0, stopped at the start

  result.m_nStop = i;
  const qint64 value = negative ? -qint64(magnitude) : qint64(magnitude);
  result.m_bInRange = value >= kMinNumber && value <= kMaxNumber;
  result.m_nValue = result.m_bInRange ? value : 0;
  return result;
}

QString FormatNumber(qint64 value, int radix) {
  if (radix == 10) return QString::number(value);
  return QString::number(Bits32(value), radix);
}

}  // namespace zef
