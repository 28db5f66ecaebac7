#include "platform/system/errors.h"

#include <cerrno>
#include <cstring>

namespace zef {

std::uint32_t GetLastError() { return static_cast<std::uint32_t>(errno); }

void SetLastError(std::uint32_t code) { errno = static_cast<int>(code); }

bool FormatMessage(std::uint32_t code, QString* text) {
  text->clear();
  if (code > 0x7fffffffu) return false;
  char buffer[256] = {};
  // GNU strerror_r returns the text (possibly a static one) rather than
  // filling the buffer; unknown codes come back as "Unknown error N".
  const char* message = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  if (!message || std::strncmp(message, "Unknown error", 13) == 0) return false;
  *text = QString::fromLocal8Bit(message);
  return true;
}

}  // namespace zef
