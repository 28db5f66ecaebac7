// The number conversions of the calculator and the error lookup: 32-bit
// values parsed as the C library's string-to-long conversion does, and
// written in radix 2, 8, 10 or 16.
//
// Accepted values run from -2147483648 to 4294967295: everything that is a
// signed or an unsigned 32-bit number. So "ffffffff" (Hex) is 4294967295 and
// "-1" (Dec) is -1, and both are the 32 bits ffffffff. A number beyond that
// range is reported as out of range, never clamped or cut to 32 bits.
#pragma once

#include <QString>
#include <QStringView>

namespace zef {

inline constexpr qint64 kMinNumber = -2147483648LL;
inline constexpr qint64 kMaxNumber = 4294967295LL;

struct CParsedNumber {
  // The value of the digits accepted; 0 when none was. Meaningful only
  // when m_bInRange.
  qint64 m_nValue = 0;
  // Index of the first unit not accepted: the text's length when every unit
  // was, 0 when the text holds no number at all.
  qsizetype m_nStop = 0;
  bool m_bInRange = true;
};

// Parses `text` in `radix` (2, 8, 10 or 16): leading white space (blank,
// tab, line feed, vertical tab, form feed, carriage return) is skipped, one
// "+" or "-" is accepted, in radix 16 a "0x" or "0X" before a digit, then
// the digits of the radix ("a" to "f" in either case for 10 to 15). Parsing
// stops at the first unit that is none of these.
CParsedNumber ParseNumber(QStringView text, int radix);

// `value` (from kMinNumber to kMaxNumber) in lower-case digits, without
// prefix or leading zeros. Radix 10 writes the number, with "-" when
// negative; radixes 2, 8 and 16 write its 32 bits as an unsigned number, so
// -1 is "ffffffff" in radix 16.
QString FormatNumber(qint64 value, int radix);

// The 32 bits of `value` (from kMinNumber to kMaxNumber).
constexpr quint32 Bits32(qint64 value) { return static_cast<quint32>(value); }

}  // namespace zef
