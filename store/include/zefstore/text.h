// UTF-8 and UTF-16 conversions for names and strings of the object store.
// Names and string properties are UTF-16 in the store's API, as the record
// layout holds them; command lines, files and terminals are UTF-8.
#ifndef ZEFSTORE_TEXT_H
#define ZEFSTORE_TEXT_H

#include <string>
#include <string_view>

#include <zefstore/export.h>

namespace zef::store {

// Strict: false for malformed UTF-8 (truncated or overlong sequences,
// encoded surrogates, code points beyond U+10FFFF). The result replaces the
// content of `utf16` (reusing its capacity); after a failure that content is
// left undefined.
ZEFSTORE_API bool Utf8ToUtf16(std::string_view utf8, std::u16string* utf16);

// Strict: false for an unpaired surrogate. Replaces the content of `utf8`
// as above.
ZEFSTORE_API bool Utf16ToUtf8(std::u16string_view utf16, std::string* utf8);

// For showing text that may hold anything (a record written by another
// program): an unpaired surrogate becomes U+FFFD. Never fails.
ZEFSTORE_API std::string Utf16ToUtf8Lossy(std::u16string_view utf16);

}  // namespace zef::store

#endif
