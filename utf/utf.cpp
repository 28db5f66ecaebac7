#include "utf/utf.h"

#include <cstdint>

namespace zef::utf {

namespace {

constexpr char32_t kMalformed = 0xFFFFFFFF;

// Decodes the sequence of at least two bytes that starts at p[0] (available
// bytes in all). *used is how many bytes it takes, or, for kMalformed, how
// many a replacement stands for.
char32_t DecodeSequence(const unsigned char* p, std::size_t available, std::size_t* used) {
  const unsigned char b = p[0];
  std::size_t length = 0;
  char32_t c = 0, minimum = 0;
  if ((b & 0xE0) == 0xC0) {
    length = 2, c = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3, c = b & 0x0F, minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    length = 4, c = b & 0x07, minimum = 0x10000;
  } else {
    *used = 1;
    return kMalformed;
  }
  std::size_t k = 1;
  for (; k < length && k < available && (p[k] & 0xC0) == 0x80; ++k) c = (c << 6) | (p[k] & 0x3F);
  *used = k;
  if (k != length) return kMalformed;  // cut short
  if (c < minimum) {
    *used = 1;
    return kMalformed;
  }
  if (IsSurrogate(c) || c > 0x10FFFF) return kMalformed;
  return c;
}

}  // namespace

void AppendUtf8(char32_t c, std::string* out) {
  if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
  EncodeUtf8(c, [out](std::uint8_t b) { out->push_back(char(b)); });
}

void AppendUtf16(char32_t c, std::u16string* out) {
  if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
  if (c < 0x10000) {
    out->push_back(char16_t(c));
  } else {
    c -= 0x10000;
    out->push_back(char16_t(0xD800 + (c >> 10)));
    out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
  }
}

bool AppendUtf8AsUtf16(std::string_view utf8, std::u16string* out, EInvalid invalid) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  out->reserve(out->size() + n);
  // ASCII in one go, the common case of the store's import.
  std::size_t i = 0;
  while (i < n && p[i] < 0x80) ++i;
  const std::size_t base = out->size();
  out->resize(base + i);
  for (std::size_t k = 0; k < i; ++k) (*out)[base + k] = char16_t(p[k]);
  while (i < n) {
    if (p[i] < 0x80) {
      out->push_back(char16_t(p[i++]));
      continue;
    }
    std::size_t used = 0;
    const char32_t c = DecodeSequence(p + i, n - i, &used);
    if (c == kMalformed && invalid == EInvalid::kFail) return false;
    AppendUtf16(c == kMalformed ? kReplacement : c, out);
    i += used;
  }
  return true;
}

bool AppendUtf16AsUtf8(std::u16string_view utf16, std::string* out, EInvalid invalid) {
  out->reserve(out->size() + utf16.size());
  for (std::size_t i = 0; i < utf16.size();) {
    const char32_t c = NextCodePoint(utf16, &i);
    if (IsSurrogate(c) && invalid == EInvalid::kFail) return false;
    AppendUtf8(c, out);
  }
  return true;
}

}  // namespace zef::utf
