// The last error of a failed platform call and its text.
#pragma once

#include <QString>

#include <cstdint>

namespace zef {

// errno of the calling thread, as the failed call left it.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// The C library's text for `code`; false (and an empty text) for a code it
// does not know.
bool FormatMessage(std::uint32_t code, QString* text);

}  // namespace zef
