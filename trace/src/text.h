// Conversions between the encodings the trace API accepts. Invalid input
// (stray UTF-8 bytes, lone surrogates, values beyond U+10FFFF) becomes
// U+FFFD rather than being dropped, so a line never silently shortens.
#pragma once

#include <string>
#include <string_view>

namespace zef::text {

std::u16string Utf8ToUtf16(std::string_view text);
void AppendUtf8AsUtf16(std::u16string& out, std::string_view text);
// One code point; a surrogate or a value beyond U+10FFFF is written as U+FFFD.
void AppendUtf8(std::string& out, char32_t c);
std::u16string WideToUtf16(std::wstring_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace zef::text
