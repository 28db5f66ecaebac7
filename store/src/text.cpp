#include <zefstore/text.h>

#include "utf/utf.h"

namespace zef::store {

bool Utf8ToUtf16(std::string_view utf8, std::u16string* utf16) {
  utf16->clear();
  return utf::AppendUtf8AsUtf16(utf8, utf16, utf::EInvalid::kFail);
}

bool Utf16ToUtf8(std::u16string_view utf16, std::string* utf8) {
  utf8->clear();
  return utf::AppendUtf16AsUtf8(utf16, utf8, utf::EInvalid::kFail);
}

std::string Utf16ToUtf8Lossy(std::u16string_view utf16) {
  std::string out;
  utf::AppendUtf16AsUtf8(utf16, &out, utf::EInvalid::kReplace);
  return out;
}

}  // namespace zef::store
