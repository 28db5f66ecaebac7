// zeftrace: hand trace lines to a running ZEFMON monitor, which shows them
// nested by the braces of the enter and leave lines.
//
//   #include <zeftrace/trace.h>
//
//   int Load(const char* path) {
//     zef::CTraceScope scope("Load()");         // "Load() {"
//     scope.PrintF("path=%s", path);            // "path=/etc/hosts"
//     scope.PrintF("last error: 0x%04x", 5);    // "last error: 0x0005"
//     scope.SetResult("0");
//     return 0;                                 // "} Load() (0)"
//   }
//
//   zef::TraceLine(u"UTF-16, UTF-8 and wide strings are all accepted");
//
// Build: find_package(zeftrace) and link zeftrace::zeftrace, or
// `pkg-config --cflags --libs zeftrace`. C programs use <zeftrace/zeftrace.h>.
//
// Every line also goes to standard error, followed by "\n". The monitor is
// looked up once per process, at the first line: a monitor started later is
// never reached. A line returns only after the monitor has taken it. Lines
// from several threads are handed over one at a time and never mix.
// Requires C++17; no Qt.
#ifndef ZEFTRACE_TRACE_H
#define ZEFTRACE_TRACE_H

#include <string>
#include <string_view>
#include <type_traits>

#include <zeftrace/export.h>

namespace zef {

ZEFTRACE_API void TraceLine(std::string_view utf8Line);
ZEFTRACE_API void TraceLine(std::u16string_view line);
ZEFTRACE_API void TraceLine(std::wstring_view line);
#if defined(__cpp_char8_t)
inline void TraceLine(std::u8string_view line) {
  TraceLine(std::string_view(reinterpret_cast<const char*>(line.data()), line.size()));
}
#endif

namespace detail {
// A null C string is an empty one here, as in the C API, instead of a view
// that cannot be made.
template <class C>
std::basic_string_view<C> View(const C* text) {
  return text ? std::basic_string_view<C>(text) : std::basic_string_view<C>();
}
}  // namespace detail

inline void TraceLine(const char* utf8Line) { TraceLine(detail::View(utf8Line)); }
inline void TraceLine(const char16_t* line) { TraceLine(detail::View(line)); }
inline void TraceLine(const wchar_t* line) { TraceLine(detail::View(line)); }

// Whether this process hands its lines to a monitor. Makes the once-per-process
// lookup when no line was emitted yet.
ZEFTRACE_API bool TraceMonitorFound();

// Standard-error copy of every line; on unless a program switches it off.
// kEscaped writes control characters (ESC, the C0 controls but the tab,
// DEL, C1) as visible escapes such as "\e", "\n", "\x07", "\u009b", and a
// backslash as two: for a program whose lines carry text that others chose,
// which must neither drive the terminal nor start a line of its own there.
enum class ETraceMirror { kOff, kOn, kEscaped };
ZEFTRACE_API void SetTraceMirror(ETraceMirror mirror);

namespace detail {

// One PrintF value, sorted by what it can be formatted as.
struct SFormatValue {
  enum class EKind { kSigned, kUnsigned, kFloat, kString, kPointer };
  EKind eKind = EKind::kSigned;
  unsigned nBytes = 0;  // size of an integer value, for %x of negative numbers
  long long nSigned = 0;
  unsigned long long nUnsigned = 0;
  long double dFloat = 0;
  std::string strText;  // UTF-8
  const void* pPointer = nullptr;
};

ZEFTRACE_API std::string FormatOne(std::string_view utf8Format, const SFormatValue& value);
ZEFTRACE_API std::string ToUtf8(std::u16string_view text);
ZEFTRACE_API std::string ToUtf8(std::wstring_view text);

template <class T>
SFormatValue MakeFormatValue(const T& value) {
  using U = std::decay_t<T>;
  SFormatValue v;
  if constexpr (std::is_null_pointer_v<U>) {
    v.eKind = SFormatValue::EKind::kString;
    v.strText = "(null)";
  } else if constexpr (std::is_same_v<U, bool>) {
    v.eKind = SFormatValue::EKind::kSigned;
    v.nBytes = sizeof(int);
    v.nSigned = value ? 1 : 0;
  } else if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
    using I = std::conditional_t<std::is_enum_v<U>, std::underlying_type<U>, std::common_type<U>>;
    using N = typename I::type;
    v.nBytes = sizeof(N);
    if constexpr (std::is_signed_v<N>) {
      v.eKind = SFormatValue::EKind::kSigned;
      v.nSigned = static_cast<long long>(static_cast<N>(value));
    } else {
      v.eKind = SFormatValue::EKind::kUnsigned;
      v.nUnsigned = static_cast<unsigned long long>(static_cast<N>(value));
    }
  } else if constexpr (std::is_floating_point_v<U>) {
    v.eKind = SFormatValue::EKind::kFloat;
    v.dFloat = value;
  } else if constexpr (std::is_convertible_v<const T&, std::string_view> ||
                       std::is_convertible_v<const T&, std::u16string_view> ||
                       std::is_convertible_v<const T&, std::wstring_view>) {
    v.eKind = SFormatValue::EKind::kString;
    // A null C string prints as printf prints it.
    if constexpr (std::is_pointer_v<T>) {
      if (value == nullptr) {
        v.strText = "(null)";
        return v;
      }
    }
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
      const std::string_view text(value);
      v.strText.assign(text.data(), text.size());
    } else if constexpr (std::is_convertible_v<const T&, std::u16string_view>) {
      v.strText = ToUtf8(std::u16string_view(value));
    } else {
      v.strText = ToUtf8(std::wstring_view(value));
    }
  } else if constexpr (std::is_pointer_v<U>) {
    v.eKind = SFormatValue::EKind::kPointer;
    v.pPointer = static_cast<const void*>(value);
  } else {
    static_assert(sizeof(T) == 0, "PrintF takes an integer, a floating-point number, a string or a pointer");
  }
  return v;
}

}  // namespace detail

// Formats one value into a printf-style format and emits the result as one
// line. The value's own type decides how it is read, so a mismatched
// conversion cannot misread memory: flags, width and precision of the
// format's conversion are kept, a conversion letter that does not fit the
// value is replaced by the natural one (d, g, s or p), and length modifiers
// are ignored. Integers narrower than 64 bits keep their width for %x/%o/%u,
// so -1 as an int gives "ffffffff". A null string prints "(null)"; %c
// writes the character as UTF-8 (a char or an 8-bit value as Latin-1, wider
// values as the code point).
template <class T>
void TracePrintF(std::string_view utf8Format, const T& value) {
  TraceLine(detail::FormatOne(utf8Format, detail::MakeFormatValue(value)));
}
template <class T>
void TracePrintF(std::u16string_view format, const T& value) {
  TraceLine(detail::FormatOne(detail::ToUtf8(format), detail::MakeFormatValue(value)));
}
template <class T>
void TracePrintF(std::wstring_view format, const T& value) {
  TraceLine(detail::FormatOne(detail::ToUtf8(format), detail::MakeFormatValue(value)));
}

// Writes "<name> {" when constructed and "} <name>" when destroyed, or
// "} <name> (<result>)" once a non-empty result was set. Names end in "()"
// by convention ("Load()"); the monitor pairs enter and leave lines by the
// name up to its first ")".
class ZEFTRACE_API CTraceScope {
 public:
  explicit CTraceScope(std::string_view utf8Name);
  explicit CTraceScope(std::u16string_view name);
  explicit CTraceScope(std::wstring_view name);
  ~CTraceScope();
  CTraceScope(const CTraceScope&) = delete;
  CTraceScope& operator=(const CTraceScope&) = delete;

  explicit CTraceScope(const char* utf8Name) : CTraceScope(detail::View(utf8Name)) {}
  explicit CTraceScope(const char16_t* name) : CTraceScope(detail::View(name)) {}
  explicit CTraceScope(const wchar_t* name) : CTraceScope(detail::View(name)) {}

  void Print(std::string_view utf8Line) { TraceLine(utf8Line); }
  void Print(std::u16string_view line) { TraceLine(line); }
  void Print(std::wstring_view line) { TraceLine(line); }
  void Print(const char* utf8Line) { TraceLine(utf8Line); }
  void Print(const char16_t* line) { TraceLine(line); }
  void Print(const wchar_t* line) { TraceLine(line); }

  template <class F, class T>
  void PrintF(const F& format, const T& value) {
    TracePrintF(FormatView(format), value);
  }

  void SetResult(std::string_view utf8Result);
  void SetResult(std::u16string_view result);
  void SetResult(std::wstring_view result);
  void SetResult(const char* utf8Result) { SetResult(detail::View(utf8Result)); }
  void SetResult(const char16_t* result) { SetResult(detail::View(result)); }
  void SetResult(const wchar_t* result) { SetResult(detail::View(result)); }

  const std::u16string& GetName() const { return m_strName; }
  const std::u16string& GetResult() const { return m_strResult; }

 private:
  template <class F>
  static auto FormatView(const F& format) {
    if constexpr (std::is_pointer_v<F>) {
      return detail::View(format);
    } else if constexpr (std::is_convertible_v<const F&, std::string_view>) {
      return std::string_view(format);
    } else if constexpr (std::is_convertible_v<const F&, std::u16string_view>) {
      return std::u16string_view(format);
    } else {
      return std::wstring_view(format);
    }
  }

  std::u16string m_strName;
  std::u16string m_strResult;
};

}  // namespace zef

#endif
