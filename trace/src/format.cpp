// One-value printf formatting for PrintF. The value's type, not the format,
// decides how it is read; the format only shapes the output.
#include "format.h"

#include <zeftrace/trace.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "utf/utf.h"

namespace zef::detail {
namespace {

using EKind = SFormatValue::EKind;

bool Fits(char conversion, EKind kind) {
  switch (conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
      return kind == EKind::kSigned || kind == EKind::kUnsigned;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return kind == EKind::kFloat;
    case 's':
      return kind == EKind::kString;
    case 'p':
      return kind == EKind::kPointer;
    default:
      return false;
  }
}

char NaturalConversion(EKind kind) {
  switch (kind) {
    case EKind::kSigned:
      return 'd';
    case EKind::kUnsigned:
      return 'u';
    case EKind::kFloat:
      return 'g';
    case EKind::kString:
      return 's';
    case EKind::kPointer:
      return 'p';
  }
  return 'd';
}

template <class... A>
std::string Snprintf(const std::string& conversion, A... args) {
  char small[128];
  const int n = std::snprintf(small, sizeof small, conversion.c_str(), args...);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), conversion.c_str(), args...);
  big.resize(static_cast<size_t>(n));
  return big;
}

// %c: the value as one character in UTF-8. A value of one byte is a
// Latin-1 character (a char holding 0xE4 is "ä"), a wider one a code point;
// what is not a character becomes U+FFFD. The width counts characters.
std::string FormatCharacter(const std::string& flags, const SFormatValue& v) {
  unsigned long long raw = v.eKind == EKind::kSigned ? static_cast<unsigned long long>(v.nSigned) : v.nUnsigned;
  if (v.nBytes > 0 && v.nBytes < sizeof raw) raw &= (1ull << (8 * v.nBytes)) - 1;
  std::string character;
  utf::AppendUtf8(raw > 0x10FFFF ? utf::kReplacement : static_cast<char32_t>(raw), &character);
  size_t width = 0;
  bool left = false;
  for (size_t i = 0; i < flags.size() && flags[i] != '.'; ++i) {
    if (flags[i] == '-') left = true;
    if (flags[i] >= '1' && flags[i] <= '9') {
      width = std::strtoul(flags.c_str() + i, nullptr, 10);
      break;
    }
  }
  const std::string padding(width > 1 ? std::min<size_t>(width - 1, 1u << 20) : 0, ' ');
  return left ? character + padding : padding + character;
}

}  // namespace

std::string FormatValue(std::string flags, char conversion, const SFormatValue& v) {
  if (!Fits(conversion, v.eKind)) conversion = NaturalConversion(v.eKind);
  const bool isSigned = conversion == 'd' || conversion == 'i';
  switch (v.eKind) {
    case EKind::kSigned:
    case EKind::kUnsigned: {
      if (conversion == 'c') return FormatCharacter(flags, v);
      if (isSigned) {
        long long s = v.eKind == EKind::kSigned ? v.nSigned : static_cast<long long>(v.nUnsigned);
        if (v.eKind == EKind::kUnsigned && v.nUnsigned > static_cast<unsigned long long>(LLONG_MAX))
          return Snprintf("%" + flags + "llu", v.nUnsigned);
        return Snprintf("%" + flags + "lld", s);
      }
      unsigned long long u = v.nUnsigned;
      if (v.eKind == EKind::kSigned) {
        // Reinterpret at the value's own width, as printf does for an int.
        u = static_cast<unsigned long long>(v.nSigned);
        if (v.nBytes < sizeof(unsigned long long)) u &= (1ull << (8 * v.nBytes)) - 1;
      }
      return Snprintf("%" + flags + "ll" + conversion, u);
    }
    case EKind::kFloat:
      return Snprintf("%" + flags + "L" + conversion, v.dFloat);
    case EKind::kString:
      return Snprintf("%" + flags + "s", v.strText.c_str());
    case EKind::kPointer:
      return Snprintf("%" + flags + "p", v.pPointer);
  }
  return {};
}

std::string FormatOne(std::string_view format, const SFormatValue& value) {
  std::string out;
  bool used = false;
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // Parse one conversion: flags, width, precision, length, letter.
    size_t j = i + 1;
    std::string flags;
    while (j < format.size() && std::string_view("-+ #0'").find(format[j]) != std::string_view::npos)
      flags += format[j++];
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') flags += format[j++];
    if (j < format.size() && format[j] == '.') {
      flags += format[j++];
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') flags += format[j++];
    }
    while (j < format.size() && std::string_view("hlLqjzt").find(format[j]) != std::string_view::npos) ++j;
    if (j >= format.size()) {  // a lone '%' at the end stays as text
      out.append(format.substr(i));
      break;
    }
    const char conversion = format[j];
    if (used || std::string_view("diuxXocfFeEgGaAsp").find(conversion) == std::string_view::npos) {
      // Only one value exists: further conversions, '*' widths and unknown
      // letters are written out as they stand.
      out.append(format.substr(i, j + 1 - i));
    } else {
      out += FormatValue(flags, conversion, value);
      used = true;
    }
    i = j + 1;
  }
  return out;
}

}  // namespace zef::detail
