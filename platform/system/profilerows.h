// A settings section's load/save table: one row per value, naming its key in
// the section, the field it fills and the value read when it is absent.
//
//   void CMySection::Exchange(CProfile& profile, DataDirection direction) {
//     const CProfileRow rows[] = {{u"Flag", m_bFlag, true}, {u"Name", m_strName, u"x"}};
//     ExchangeSection(profile, u"Init.Mine", rows, direction);
//   }
//
// Booleans are stored as 1 or 0 and read as set for any value but 0.
#pragma once

#include "platform/system/datadirection.h"

#include <QString>

#include <span>
#include <variant>

namespace zef {

class CProfile;

struct CProfileRow {
  CProfileRow(const char16_t* key, bool& field, bool absent)
      : m_pszKey(key), m_field(&field), m_nAbsent(absent ? 1 : 0) {}
  CProfileRow(const char16_t* key, int& field, int absent) : m_pszKey(key), m_field(&field), m_nAbsent(absent) {}
  CProfileRow(const char16_t* key, QString& field, const char16_t* absent)
      : m_pszKey(key), m_field(&field), m_pszAbsent(absent) {}

  const char16_t* m_pszKey;
  std::variant<bool*, int*, QString*> m_field;
  int m_nAbsent = 0;                      // for booleans and integers
  const char16_t* m_pszAbsent = nullptr;  // for strings
};

// Loads (ToControls) or saves (FromControls) the rows of `section` in their
// order.
void ExchangeSection(CProfile& profile, const char16_t* section, std::span<const CProfileRow> rows,
                     DataDirection direction);

}  // namespace zef
