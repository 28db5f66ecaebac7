// UTF-8, UTF-16 and code points, for the two libraries without Qt (the
// object store and the trace library each compile it in; it is part of
// neither's API). Malformed input either fails the conversion (kFail: the
// store, whose names and strings must round-trip) or becomes U+FFFD
// (kReplace: the trace library, whose lines must never shorten silently).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zef::utf {

enum class EInvalid { kFail, kReplace };

inline constexpr char32_t kReplacement = 0xFFFD;

inline bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The bytes of code point `c` in UTF-8.
inline std::size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// Hands the UTF-8 bytes of code point `c` (no surrogate, at most U+10FFFF)
// to `put` one by one, for writers that keep their own storage.
template <class Put>
void EncodeUtf8(char32_t c, Put put) {
  if (c < 0x80) {
    put(std::uint8_t(c));
    return;
  }
  if (c < 0x800) {
    put(std::uint8_t(0xC0 | (c >> 6)));
  } else if (c < 0x10000) {
    put(std::uint8_t(0xE0 | (c >> 12)));
    put(std::uint8_t(0x80 | ((c >> 6) & 0x3F)));
  } else {
    put(std::uint8_t(0xF0 | (c >> 18)));
    put(std::uint8_t(0x80 | ((c >> 12) & 0x3F)));
    put(std::uint8_t(0x80 | ((c >> 6) & 0x3F)));
  }
  put(std::uint8_t(0x80 | (c & 0x3F)));
}

// Appends one code point; a surrogate or a value beyond U+10FFFF is written
// as U+FFFD.
void AppendUtf8(char32_t c, std::string* out);
void AppendUtf16(char32_t c, std::u16string* out);

// The code point at text[*i], moving *i past it: a pair of surrogates is
// one code point, a lone surrogate is returned as itself for the caller to
// judge.
inline char32_t NextCodePoint(std::u16string_view text, std::size_t* i) {
  const char32_t c = text[(*i)++];
  if (c >= 0xD800 && c <= 0xDBFF && *i < text.size() && text[*i] >= 0xDC00 && text[*i] <= 0xDFFF) {
    return 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[(*i)++]) - 0xDC00);
  }
  return c;
}

// Appends `utf8` to `out` as UTF-16. Malformed: a byte that starts no
// sequence, a sequence cut short, an overlong form, an encoded surrogate, a
// value beyond U+10FFFF. With kFail the first one answers false (what was
// appended by then is left in `out`); with kReplace each becomes one U+FFFD
// (a sequence cut short with the continuation bytes it has, an overlong
// form by its lead byte alone, so its continuations are replaced in turn)
// and the answer is true.
bool AppendUtf8AsUtf16(std::string_view utf8, std::u16string* out, EInvalid invalid);

// Appends `utf16` to `out` as UTF-8; a lone surrogate fails (kFail) or
// becomes U+FFFD (kReplace).
bool AppendUtf16AsUtf8(std::u16string_view utf16, std::string* out, EInvalid invalid);

}  // namespace zef::utf
