#include "text.h"

#include <zeftrace/trace.h>

#include "utf/utf.h"

namespace zef::text {

namespace {

using utf::EInvalid;

void AppendEscaped(std::string& out, char32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  const bool c0 = c < 0x20 && c != U'\t';
  if (!c0 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && c != U'\\') {
    utf::AppendUtf8(c, &out);
    return;
  }
  out += '\\';
  switch (c) {
    case U'\\':
      out += '\\';
      return;
    case 0x1B:
      out += 'e';
      return;
    case U'\a':
      out += 'a';
      return;
    case U'\b':
      out += 'b';
      return;
    case U'\f':
      out += 'f';
      return;
    case U'\n':
      out += 'n';
      return;
    case U'\r':
      out += 'r';
      return;
    case U'\v':
      out += 'v';
      return;
    default:
      break;
  }
  out += c >= 0x80 ? "u00" : "x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  utf::AppendUtf8AsUtf16(text, &out, EInvalid::kReplace);
  return out;
}

std::u16string WideToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == 2) {
    for (wchar_t c : text) out += static_cast<char16_t>(c);
  } else {
    for (wchar_t c : text) utf::AppendUtf16(static_cast<char32_t>(c), &out);
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  utf::AppendUtf16AsUtf8(text, &out, EInvalid::kReplace);
  return out;
}

std::string Utf16ToEscapedUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    // A lone surrogate is written as U+FFFD by the append.
    AppendEscaped(out, utf::NextCodePoint(text, &i));
  }
  return out;
}

}  // namespace zef::text

namespace zef::detail {

std::string ToUtf8(std::u16string_view text) { return text::Utf16ToUtf8(text); }
std::string ToUtf8(std::wstring_view text) { return text::Utf16ToUtf8(text::WideToUtf16(text)); }

}  // namespace zef::detail
