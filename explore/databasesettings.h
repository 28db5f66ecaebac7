// The settings section of the database commands.
#pragma once

#include "platform/system/datadirection.h"

namespace zef {

class CProfile;

// Section "Init.Database": the line length of database listings and the
// second confirmation of deletions.
struct CDatabaseSettings {
  int m_nMaxLineLength = 179;
  bool m_bConfirmTwice = true;

  void Exchange(CProfile& profile, DataDirection direction);
  friend bool operator==(const CDatabaseSettings&, const CDatabaseSettings&) = default;
};

}  // namespace zef
