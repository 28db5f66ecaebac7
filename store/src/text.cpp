#include <zefstore/text.h>

#include <cstdint>

namespace zef::store {

namespace {

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | (c >> 6)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(char(0xE0 | (c >> 12)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (c >> 18)));
    out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Appends `utf16` as UTF-8; an unpaired surrogate is U+FFFD when `lossy`,
// else a failure.
bool ConvertUtf16(std::u16string_view utf16, bool lossy, std::string* out) {
  out->reserve(out->size() + utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    char32_t c = u;
    if (IsHigh(u) && i + 1 < utf16.size() && IsLow(utf16[i + 1])) {
      c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(utf16[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHigh(u) || IsLow(u)) {
      if (!lossy) return false;
      c = 0xFFFD;
    }
    AppendUtf8(c, out);
  }
  return true;
}

}  // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string* utf16) {
  std::u16string& out = *utf16;
  out.clear();
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  // ASCII in one go, the common case of the import.
  std::size_t ascii = 0;
  while (ascii < n && p[ascii] < 0x80) ++ascii;
  out.resize(ascii);
  for (std::size_t i = 0; i < ascii; ++i) out[i] = char16_t(p[i]);
  for (std::size_t i = ascii; i < n;) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(char16_t(b));
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t c = 0, minimum = 0;
    if ((b & 0xE0) == 0xC0) {
      length = 2, c = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      length = 3, c = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      length = 4, c = b & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (p[i + k] & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      out.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(char16_t(c));
    }
    i += length;
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view utf16, std::string* utf8) {
  utf8->clear();
  return ConvertUtf16(utf16, false, utf8);
}

std::string Utf16ToUtf8Lossy(std::u16string_view utf16) {
  std::string out;
  ConvertUtf16(utf16, true, &out);
  return out;
}

}  // namespace zef::store
