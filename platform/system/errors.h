// The last error of a failed platform call and its text.
#pragma once

#include <QString>

#include <cstdint>

namespace zef {

// errno of the calling thread, as the failed call left it.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// The system's text for error code `code` (an errno value) followed by its
// symbolic name, "No such file or directory (ENOENT)"; code 0 has no name.
// Returns the number of UTF-16 units written to *text. For a code the C
// library does not know it returns 0, leaves *text empty and sets the last
// error to EINVAL.
std::uint32_t FormatMessage(std::uint32_t code, QString* text);

}  // namespace zef
