#include "values.h"

#include <zefstore/text.h>

#include <charconv>
#include <cstdint>
#include <limits>

namespace zef::store::tool {

namespace {

template <class T>
bool ParseInteger(std::string_view text, T* value) {
  // One sign at most: from_chars would take a '-' after the '+' taken here.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) return false;
  }
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, 10);
  return ec == std::errc() && end == text.data() + text.size();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + std::int64_t(doe) - 719468;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, unsigned* value) {
  if (at + count > text.size()) return false;
  *value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + unsigned(text[i] - '0');
  }
  return true;
}

bool FileTimeFromSeconds(std::int64_t seconds, std::uint64_t* fileTime) {
  // File times are unsigned 100-ns counts from 1601: both ends are checked.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max() / 10'000'000 - kFileTimeEpochOffsetSeconds;
  if (seconds < -kFileTimeEpochOffsetSeconds || seconds > kMax) return false;
  *fileTime = std::uint64_t(seconds + kFileTimeEpochOffsetSeconds) * 10'000'000u;
  return true;
}

// A type name test without a library call: the import makes five per line.
template <std::size_t N>
bool Is(std::string_view type, const char (&name)[N]) {
  if (type.size() != N - 1) return false;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    if (type[i] != name[i]) return false;
  }
  return true;
}

// The parsers of the value types that are not integers: each answers why
// `body` is not a value of its type, or null once `value` holds it.

const char* ParseBool(std::string_view body, SPropValue* value) {
  value->eType = EPropType::kBool;
  if (body == "1" || body == "true") {
    value->nValue = 1;
  } else if (body == "0" || body == "false") {
    value->nValue = 0;
  } else {
    return "not a bool (0, 1, false, true)";
  }
  return nullptr;
}

const char* ParseString(std::string_view body, SPropValue* value) {
  if (body.size() > kMaxRecordSize) return "string too long";
  value->eType = EPropType::kString;
  if (!Utf8ToUtf16(body, &value->strText)) return "not UTF-8";
  if (value->strText.find(u'\0') != std::u16string::npos) return "a string cannot hold U+0000";
  return nullptr;
}

const char* ParseFileTime(std::string_view body, SPropValue* value) {
  std::uint64_t fileTime = 0;
  if (!ParseTime(body, &fileTime)) return "not a time (seconds since 1970 or YYYY-MM-DDTHH:MM:SSZ)";
  value->eType = EPropType::kFileTime;
  value->nValue = std::int64_t(fileTime);
  return nullptr;
}

const char* ParseBlob(std::string_view body, SPropValue* value) {
  if (body.size() % 2 != 0) return "odd number of hex digits";
  if (body.size() / 2 > kMaxRecordSize) return "blob too large";
  value->eType = EPropType::kBlob;
  value->bytes.clear();
  for (std::size_t i = 0; i < body.size(); i += 2) {
    const int high = HexDigit(body[i]), low = HexDigit(body[i + 1]);
    if (high < 0 || low < 0) return "not hex";
    value->bytes.push_back(std::uint8_t(high * 16 + low));
  }
  return nullptr;
}

// Reads the text of a quoted str: value from `*at`, just after its opening
// quote, into `value`, unescaped, and moves `*at` past the closing quote.
bool ReadQuoted(std::string_view line, std::size_t* at, std::string* value, std::string* error) {
  std::size_t i = *at;
  bool closed = false;
  while (i < line.size()) {
    const char c = line[i++];
    if (c == '"') {
      closed = true;
      break;
    }
    if (c != '\\') {
      value->push_back(c);
      continue;
    }
    if (i == line.size()) break;
    switch (const char e = line[i++]; e) {
      case '"':
        value->push_back('"');
        break;
      case '\\':
        value->push_back('\\');
        break;
      case 't':
        value->push_back('\t');
        break;
      case 'n':
        value->push_back('\n');
        break;
      case 'r':
        value->push_back('\r');
        break;
      default:
        *error = std::string("unknown escape \\") + e;
        return false;
    }
  }
  if (!closed) {
    *error = "unclosed quote";
    return false;
  }
  if (i < line.size() && line[i] != ' ' && line[i] != '\t') {
    *error = "text after a closing quote";
    return false;
  }
  *at = i;
  return true;
}

}  // namespace

bool ParseTime(std::string_view text, std::uint64_t* fileTime) {
  std::int64_t seconds = 0;
  bool number = !text.empty();
  for (char c : text) number = number && ((c >= '0' && c <= '9') || c == '-' || c == '+');
  if (number) {
    return ParseInteger(text, &seconds) && FileTimeFromSeconds(seconds, fileTime);
  }
  unsigned year, month, day, hour, minute, second;
  if (!Digits(text, 0, 4, &year) || text.size() < 19 || text[4] != '-' || !Digits(text, 5, 2, &month) ||
      text[7] != '-' || !Digits(text, 8, 2, &day) || (text[10] != 'T' && text[10] != ' ') ||
      !Digits(text, 11, 2, &hour) || text[13] != ':' || !Digits(text, 14, 2, &minute) || text[16] != ':' ||
      !Digits(text, 17, 2, &second)) {
    return false;
  }
  if (text.size() != 19 && !(text.size() == 20 && text[19] == 'Z')) return false;
  static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || minute > 59 ||
      second > 59) {
    return false;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return false;
  seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return FileTimeFromSeconds(seconds, fileTime);
}

bool ParseValue(std::string_view text, SPropValue* value, std::string* error) {
  // Type names are short: a loop beats a library search here.
  std::size_t colon = 0;
  while (colon < text.size() && colon < 5 && text[colon] != ':') ++colon;
  if (colon == text.size() || text[colon] != ':') {
    *error = "value without a type (TYPE:VALUE)";
    return false;
  }
  const std::string_view type = text.substr(0, colon);
  const std::string_view body = text.substr(colon + 1);
  auto fail = [&](const char* why) {
    *error = std::string(why) + ": " + std::string(text);
    return false;
  };
  auto integer = [&](EPropType propType, auto sample) {
    decltype(sample) number{};
    if (!ParseInteger(body, &number)) return fail("not a number of that type");
    value->eType = propType;
    value->nValue = std::int64_t(number);
    return true;
  };
  if (Is(type, "i2")) return integer(EPropType::kI2, std::int16_t());
  if (Is(type, "u2")) return integer(EPropType::kUI2, std::uint16_t());
  if (Is(type, "i4")) return integer(EPropType::kI4, std::int32_t());
  if (Is(type, "u4")) return integer(EPropType::kUI4, std::uint32_t());
  if (Is(type, "i8")) return integer(EPropType::kI8, std::int64_t());
  const char* why = "unknown type (i2 u2 i4 u4 i8 bool str time blob)";
  if (Is(type, "bool")) {
    why = ParseBool(body, value);
  } else if (Is(type, "str")) {
    why = ParseString(body, value);
  } else if (Is(type, "time")) {
    why = ParseFileTime(body, value);
  } else if (Is(type, "blob")) {
    why = ParseBlob(body, value);
  }
  return why == nullptr || fail(why);
}

bool CLineSplitter::Split(std::string_view line, std::string* error) {
  m_values.clear();
  m_quotedAt.clear();
  std::size_t quoted = 0;
  std::size_t at = 0;
  while (true) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at == line.size()) break;
    // Counted as they are found, so that a line of millions of values stops
    // here instead of after all of them are split and parsed.
    if (m_values.size() == kMaxProperties) {
      *error = "more than 65,535 values (E2BIG)";
      return false;
    }
    const std::size_t start = at;
    if (!(line.size() - at >= 5 && line[at] == 's' && line[at + 1] == 't' && line[at + 2] == 'r' &&
          line[at + 3] == ':' && line[at + 4] == '"')) {
      while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
      m_values.push_back(line.substr(start, at - start));
      continue;
    }
    if (quoted == m_unquoted.size()) m_unquoted.emplace_back();
    std::string& value = m_unquoted[quoted++];
    value = "str:";
    at += 5;
    if (!ReadQuoted(line, &at, &value, error)) return false;
    // Pointed at once all quoted values are made, as m_unquoted may grow.
    m_quotedAt.push_back(m_values.size());
    m_values.emplace_back();
  }
  for (std::size_t i = 0; i < m_quotedAt.size(); ++i) m_values[m_quotedAt[i]] = m_unquoted[i];
  return true;
}

}  // namespace zef::store::tool
