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
#include <utility>

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

// The arguments not yet read, in a struct so that the steps below can share
// them by reference (a va_list passed by value may not be read on after the
// callee read from it).
struct SArgs {
  va_list list;
};

// One conversion of a format: its flags, width and precision as printf
// writes them (a '*' already read from the arguments), its length modifier
// and its conversion character (0 at the end of the format).
struct SConversion {
  std::string flags;
  std::string length;
  char conversion = 0;
};

// Reads the conversion that follows a '%'; returns where the format goes on.
const char* ReadConversion(const char* p, SArgs& args, SConversion* conv) {
  std::string& flags = conv->flags;
  while (*p && std::strchr("-+ #0'", *p)) flags += *p++;
  if (*p == '*') {
    int width = va_arg(args.list, int);
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
      const int precision = va_arg(args.list, int);
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
  while (*p && std::strchr("hlLqjzt", *p)) conv->length += *p++;
  conv->conversion = *p;
  return *p ? p + 1 : p;
}

SFormatValue SignedArgument(const std::string& length, SArgs& args) {
  if (length == "hh") return Integer(static_cast<signed char>(va_arg(args.list, int)));
  if (length == "h") return Integer(static_cast<short>(va_arg(args.list, int)));
  if (length == "l") return Integer(va_arg(args.list, long));
  if (length == "ll" || length == "q") return Integer(va_arg(args.list, long long));
  if (length == "j") return Integer(va_arg(args.list, intmax_t));
  if (length == "z") return Integer(va_arg(args.list, ssize_t));
  if (length == "t") return Integer(va_arg(args.list, ptrdiff_t));
  return Integer(va_arg(args.list, int));
}

SFormatValue UnsignedArgument(const std::string& length, SArgs& args) {
  if (length == "hh") return Integer(static_cast<unsigned char>(va_arg(args.list, unsigned)));
  if (length == "h") return Integer(static_cast<unsigned short>(va_arg(args.list, unsigned)));
  if (length == "l") return Integer(va_arg(args.list, unsigned long));
  if (length == "ll" || length == "q") return Integer(va_arg(args.list, unsigned long long));
  if (length == "j") return Integer(va_arg(args.list, uintmax_t));
  if (length == "z") return Integer(va_arg(args.list, size_t));
  if (length == "t") return Integer(static_cast<std::make_unsigned_t<ptrdiff_t>>(va_arg(args.list, ptrdiff_t)));
  return Integer(va_arg(args.list, unsigned));
}

SFormatValue StringArgument(const std::string& length, SArgs& args) {
  if (length == "l") {
    const wchar_t* text = va_arg(args.list, const wchar_t*);
    return String(text ? zef::text::Utf16ToUtf8(zef::text::WideToUtf16(text)) : "(null)");
  }
  const char* text = va_arg(args.list, const char*);
  return String(text ? text : "(null)");
}

enum class EArgument { kValue, kNone, kUnknown };

// Reads the argument of one conversion: kNone for %n, which writes nothing
// anywhere; kUnknown for a conversion whose argument cannot be known.
EArgument ReadArgument(const SConversion& conv, SArgs& args, SFormatValue* value) {
  switch (conv.conversion) {
    case 'd':
    case 'i':
      *value = SignedArgument(conv.length, args);
      return EArgument::kValue;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      *value = UnsignedArgument(conv.length, args);
      return EArgument::kValue;
    case 'c':
      *value = conv.length == "l" ? Character(static_cast<long long>(va_arg(args.list, wint_t)), true)
                                  : Character(va_arg(args.list, int), false);
      return EArgument::kValue;
    case 's':
      *value = StringArgument(conv.length, args);
      return EArgument::kValue;
    case 'p':
      value->eKind = EKind::kPointer;
      value->pPointer = va_arg(args.list, void*);
      return EArgument::kValue;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      value->eKind = EKind::kFloat;
      value->dFloat = conv.length == "L" ? va_arg(args.list, long double) : va_arg(args.list, double);
      return EArgument::kValue;
    case 'n':
      (void)va_arg(args.list, void*);
      return EArgument::kNone;
    default:
      return EArgument::kUnknown;
  }
}

// printf for the C API, conversion by conversion, so that the text is UTF-8
// whatever the locale: %c and %lc write their character as UTF-8, %ls its
// wide string, a null string is "(null)". %n writes nothing anywhere.
// Formats with positional arguments ("%1$d") are left to the C library.
std::string FormatC(const char* format, va_list list) {
  if (std::strchr(format, '$')) return FormatWithCLibrary(format, list);
  const int savedErrno = errno;  // for %m
  SArgs args;
  va_copy(args.list, list);
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
    SConversion conv;
    p = ReadConversion(p, args, &conv);
    SFormatValue value;
    const EArgument read = conv.conversion == 'm' ? EArgument::kNone : ReadArgument(conv, args, &value);
    if (read == EArgument::kUnknown) {
      // A lone '%' at the end, or a conversion whose argument cannot be
      // known: the rest of the format stays as it is.
      out.append(start);
      break;
    }
    if (conv.conversion == 'm') out += std::strerror(savedErrno);
    if (read == EArgument::kValue) out += zef::detail::FormatValue(std::move(conv.flags), conv.conversion, value);
  }
  va_end(args.list);
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
