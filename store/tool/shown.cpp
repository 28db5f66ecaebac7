#include "shown.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace zef::store::tool {

namespace {

struct SRange {
  char32_t nFirst;
  char32_t nLast;
};

// Unicode 15.1's characters of category Cf, with U+2028 (Zl) and U+2029
// (Zp) merged in; sorted, both ends included.
constexpr SRange kFormat[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

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

}  // namespace

bool IsObeyed(char32_t c) {
  if (c == U'\t') return false;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  if (c < kFormat[0].nFirst) return false;
  const SRange* after = std::upper_bound(std::begin(kFormat), std::end(kFormat), c,
                                         [](char32_t value, const SRange& range) { return value < range.nFirst; });
  return c <= (after - 1)->nLast;
}

void AppendShown(std::u16string_view text, std::string* out) {
  out->reserve(out->size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(IsObeyed(c) ? char32_t(0xFFFD) : c, out);
  }
}

}  // namespace zef::store::tool
