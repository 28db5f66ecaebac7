#include "format.h"
#include "text.h"

#include <zeftrace/trace.h>
#include <zeftrace/zeftrace.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <type_traits>

#include <sys/types.h>

struct zef_trace_scope {
  explicit zef_trace_scope(const char* name) : scope(std::string_view(name ? name : "")) {}
  zef::CTraceScope scope;
};

namespace {

using zef::detail::SFormatValue;
using EKind = SFormatValue::EKind;

template <class T>
SFormatValue Integer(T value) {
  SFormatValue v;
  v.nBytes = sizeof(T);
  if constexpr (std::is_signed_v<T>) {
    v.eKind = EKind::kSigned;
    v.nSigned = static_cast<long long>(value);
  } else {
    v.eKind = EKind::kUnsigned;
    v.nUnsigned = static_cast<unsigned long long>(value);
  }
  return v;
}

// %c of C: an int holding a character. A negative value from -128 on is a
// char that was promoted with its sign (Latin-1); others are code points.
SFormatValue Character(long long value, bool wide) {
  if (!wide && value < 0 && value >= -128) value += 256;
  SFormatValue v;
  v.eKind = EKind::kUnsigned;
  v.nBytes = 8;
  v.nUnsigned = value < 0 ? 0xFFFD : static_cast<unsigned long long>(value);
  return v;
}

SFormatValue String(std::string text) {
  SFormatValue v;
  v.eKind = EKind::kString;
  v.strText = std::move(text);
  return v;
}

std::string FormatWithCLibrary(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  std::string line(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
  if (n > 0) std::vsnprintf(line.data(), line.size(), format, again);
  va_end(again);
  line.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return line;
}

// printf for the C API, conversion by conversion, so that the text is UTF-8
// whatever the locale: %c and %lc write their character as UTF-8, %ls its
// wide string, a null string is "(null)". %n writes nothing anywhere.
// Formats with positional arguments ("%1$d") are left to the C library.
std::string FormatC(const char* format, va_list args) {
  if (std::strchr(format, '$')) return FormatWithCLibrary(format, args);
  const int savedErrno = errno;  // for %m
  std::string out;
  for (const char* p = format; *p;) {
    if (*p != '%') {
      const char* next = std::strchr(p, '%');
      const size_t run = next ? size_t(next - p) : std::strlen(p);
      out.append(p, run);
      p += run;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out += '%';
      ++p;
      continue;
    }
    std::string flags;
    while (*p && std::strchr("-+ #0'", *p)) flags += *p++;
    if (*p == '*') {
      int width = va_arg(args, int);
      if (width < 0) {
        flags += '-';
        width = width == INT_MIN ? INT_MAX : -width;
      }
      flags += std::to_string(width);
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') flags += *p++;
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        const int precision = va_arg(args, int);
        if (precision >= 0) {  // a negative one is as if absent
          flags += '.';
          flags += std::to_string(precision);
        }
        ++p;
      } else {
        flags += '.';
        while (*p >= '0' && *p <= '9') flags += *p++;
      }
    }
    std::string length;
    while (*p && std::strchr("hlLqjzt", *p)) length += *p++;
    const char conversion = *p;
    if (!conversion) {
      out.append(start);  // a lone '%' at the end stays as text
      break;
    }
    ++p;
    SFormatValue value;
    switch (conversion) {
      case 'd':
      case 'i':
        if (length == "hh") value = Integer(static_cast<signed char>(va_arg(args, int)));
        else if (length == "h") value = Integer(static_cast<short>(va_arg(args, int)));
        else if (length == "l") value = Integer(va_arg(args, long));
        else if (length == "ll" || length == "q") value = Integer(va_arg(args, long long));
        else if (length == "j") value = Integer(va_arg(args, intmax_t));
        else if (length == "z") value = Integer(va_arg(args, ssize_t));
        else if (length == "t") value = Integer(va_arg(args, ptrdiff_t));
        else value = Integer(va_arg(args, int));
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if (length == "hh") value = Integer(static_cast<unsigned char>(va_arg(args, unsigned)));
        else if (length == "h") value = Integer(static_cast<unsigned short>(va_arg(args, unsigned)));
        else if (length == "l") value = Integer(va_arg(args, unsigned long));
        else if (length == "ll" || length == "q") value = Integer(va_arg(args, unsigned long long));
        else if (length == "j") value = Integer(va_arg(args, uintmax_t));
        else if (length == "z") value = Integer(va_arg(args, size_t));
        else if (length == "t") value = Integer(static_cast<std::make_unsigned_t<ptrdiff_t>>(va_arg(args, ptrdiff_t)));
        else value = Integer(va_arg(args, unsigned));
        break;
      case 'c':
        value = length == "l" ? Character(static_cast<long long>(va_arg(args, wint_t)), true)
                              : Character(va_arg(args, int), false);
        break;
      case 's':
        if (length == "l") {
          const wchar_t* text = va_arg(args, const wchar_t*);
          value = String(text ? zef::text::Utf16ToUtf8(zef::text::WideToUtf16(text)) : "(null)");
        } else {
          const char* text = va_arg(args, const char*);
          value = String(text ? text : "(null)");
        }
        break;
      case 'p':
        value.eKind = EKind::kPointer;
        value.pPointer = va_arg(args, void*);
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        value.eKind = EKind::kFloat;
        value.dFloat = length == "L" ? va_arg(args, long double) : va_arg(args, double);
        break;
      case 'n':
        (void)va_arg(args, void*);
        continue;
      case 'm':
        out += std::strerror(savedErrno);
        continue;
      default:
        // Which argument an unknown conversion takes cannot be known: the
        // rest of the format stays as it is.
        out.append(start);
        return out;
    }
    out += zef::detail::FormatValue(flags, conversion, value);
  }
  return out;
}

}  // namespace

extern "C" {

void zef_trace_line(const char* utf8_line) { zef::TraceLine(std::string_view(utf8_line ? utf8_line : "")); }

void zef_trace_line_n(const char* utf8_line, size_t length) {
  zef::TraceLine(utf8_line ? std::string_view(utf8_line, length) : std::string_view());
}

int zef_trace_monitor_found(void) { return zef::TraceMonitorFound() ? 1 : 0; }

zef_trace_scope* zef_trace_scope_begin(const char* utf8_name) { return new (std::nothrow) zef_trace_scope(utf8_name); }

void zef_trace_scope_print(zef_trace_scope* scope, const char* utf8_line) {
  if (scope) scope->scope.Print(std::string_view(utf8_line ? utf8_line : ""));
}

void zef_trace_scope_printf(zef_trace_scope* scope, const char* format, ...) {
  if (!scope || !format) return;
  va_list args;
  va_start(args, format);
  const std::string line = FormatC(format, args);
  va_end(args);
  scope->scope.Print(std::string_view(line));
}

void zef_trace_scope_set_result(zef_trace_scope* scope, const char* utf8_result) {
  if (scope) scope->scope.SetResult(std::string_view(utf8_result ? utf8_result : ""));
}

void zef_trace_scope_end(zef_trace_scope* scope) { delete scope; }

}  // extern "C"
