#include "platform/system/errors.h"

#include <cerrno>
#include <cstring>

namespace zef {

std::uint32_t GetLastError() { return static_cast<std::uint32_t>(errno); }

void SetLastError(std::uint32_t code) { errno = static_cast<int>(code); }

std::uint32_t FormatMessage(std::uint32_t code, QString* text) {
  text->clear();
  // The C library names exactly the codes it knows; the text itself comes
  // from strerror_r, in the language of the user's locale.
  const int number = code > 0x7fffffffu ? -1 : static_cast<int>(code);
  if (number < 0 || strerrordesc_np(number) == nullptr) {
    SetLastError(EINVAL);
    return 0;
  }
  char buffer[256] = {};
  // GNU strerror_r returns the text (possibly a static one) rather than
  // always filling the buffer.
  *text = QString::fromLocal8Bit(strerror_r(number, buffer, sizeof buffer));
  const char* name = strerrorname_np(number);
  if (number != 0 && name != nullptr) *text += QStringLiteral(" (%1)").arg(QString::fromLatin1(name));
  return static_cast<std::uint32_t>(text->size());
}

}  // namespace zef
