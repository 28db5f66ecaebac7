// The last-error rule: every call of the library that fails leaves its errno
// value in this thread's GetLastError(), and nothing else changes it (a
// success leaves it as it was, except where a walk ends and sets 0).
#pragma once

#include <zefstore/ceapi.h>

namespace zef::store {

// Leaves a failure in GetLastError() and hands it on.
inline int Report(int error) {
  if (error != 0) SetLastError(DWORD(error));
  return error;
}

}  // namespace zef::store
