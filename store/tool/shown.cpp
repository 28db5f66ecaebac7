#include "shown.h"

#include <zefstore/text.h>

#include <algorithm>
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
  // Replaced in UTF-16, compacting (a pair becomes one U+FFFD); unpaired
  // surrogates are left to the lossy conversion.
  std::u16string shown(text);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char16_t unit = shown[i];
    const bool pair =
        unit >= 0xD800 && unit <= 0xDBFF && i + 1 < shown.size() && shown[i + 1] >= 0xDC00 && shown[i + 1] <= 0xDFFF;
    const char32_t c = pair ? 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(shown[i + 1]) - 0xDC00) : unit;
    if (IsObeyed(c)) {
      shown[kept++] = u'\uFFFD';
    } else {
      shown[kept++] = unit;
      if (pair) shown[kept++] = shown[i + 1];
    }
    if (pair) ++i;
  }
  shown.resize(kept);
  *out += Utf16ToUtf8Lossy(shown);
}

}  // namespace zef::store::tool
