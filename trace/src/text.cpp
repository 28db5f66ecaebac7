#include "text.h"

#include <zeftrace/trace.h>

namespace zef::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
  if (c > 0x10FFFF) c = kReplacement;
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf8AsUtf16(std::u16string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, minimum = 0x10000;
    } else {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) break;
      c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    if (j != i + 1 + static_cast<size_t>(extra)) {
      // Truncated: one replacement for the lead byte and its continuations.
      out += static_cast<char16_t>(kReplacement);
      i = j;
      continue;
    }
    if (c < minimum) {
      // Overlong: replace the lead byte; its continuations are replaced in turn.
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i = j;
  }
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  AppendUtf8AsUtf16(out, text);
  return out;
}

std::u16string WideToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == 2) {
    for (wchar_t c : text) out += static_cast<char16_t>(c);
  } else {
    for (wchar_t c : text) AppendUtf16(out, static_cast<char32_t>(c));
  }
  return out;
}

namespace {

// Calls `take` with each code point of `text`; a lone surrogate is U+FFFD.
template <class F>
void ForEachCodePoint(std::u16string_view text, F take) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    take(c);
  }
}

void AppendEscaped(std::string& out, char32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  const bool c0 = c < 0x20 && c != U'\t';
  if (!c0 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && c != U'\\') {
    AppendUtf8(out, c);
    return;
  }
  out += '\\';
  switch (c) {
    case U'\\': out += '\\'; return;
    case 0x1B: out += 'e'; return;
    case U'\a': out += 'a'; return;
    case U'\b': out += 'b'; return;
    case U'\f': out += 'f'; return;
    case U'\n': out += 'n'; return;
    case U'\r': out += 'r'; return;
    case U'\v': out += 'v'; return;
    default: break;
  }
  out += c >= 0x80 ? "u00" : "x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&out](char32_t c) { AppendUtf8(out, c); });
  return out;
}

std::string Utf16ToEscapedUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&out](char32_t c) { AppendEscaped(out, c); });
  return out;
}

}  // namespace zef::text

namespace zef::detail {

std::string ToUtf8(std::u16string_view text) { return text::Utf16ToUtf8(text); }
std::string ToUtf8(std::wstring_view text) { return text::Utf16ToUtf8(text::WideToUtf16(text)); }

}  // namespace zef::detail
