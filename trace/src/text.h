// Conversions between the encodings the trace API accepts, over the shared
// codec of utf/utf.h. Invalid input (stray UTF-8 bytes, lone surrogates,
// values beyond U+10FFFF) becomes U+FFFD rather than being dropped, so a
// line never silently shortens.
#pragma once

#include <string>
#include <string_view>

namespace zef::text {

std::u16string Utf8ToUtf16(std::string_view text);
std::u16string WideToUtf16(std::wstring_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// `text` as UTF-8 with nothing in it that a terminal would obey: C0
// controls but the tab, DEL and C1 controls are written as visible escapes
// ("\e" for ESC; "\a", "\b", "\f", "\n", "\r", "\v" for those; "\xHH" for the
// other C0 controls and DEL; "\u00HH" for C1), and a backslash as two, so
// that an escape in the output always stands for one such character. Lone
// surrogates become U+FFFD as in Utf16ToUtf8.
std::string Utf16ToEscapedUtf8(std::u16string_view text);

}  // namespace zef::text
