#include "platform/system/profilerows.h"

#include "platform/system/profile.h"

namespace zef {

namespace {

void LoadRow(const CProfile& profile, const QString& section, const CProfileRow& row) {
  const QString entry = QString::fromUtf16(row.m_pszKey);
  if (bool* const* flag = std::get_if<bool*>(&row.m_field)) {
    **flag = profile.GetProfileInt(section, entry, row.m_nAbsent) != 0;
  } else if (int* const* number = std::get_if<int*>(&row.m_field)) {
    **number = profile.GetProfileInt(section, entry, row.m_nAbsent);
  } else {
    *std::get<QString*>(row.m_field) = profile.GetProfileString(section, entry, QString::fromUtf16(row.m_pszAbsent));
  }
}

void SaveRow(CProfile& profile, const QString& section, const CProfileRow& row) {
  const QString entry = QString::fromUtf16(row.m_pszKey);
  if (bool* const* flag = std::get_if<bool*>(&row.m_field)) {
    profile.WriteProfileInt(section, entry, **flag ? 1 : 0);
  } else if (int* const* number = std::get_if<int*>(&row.m_field)) {
    profile.WriteProfileInt(section, entry, **number);
  } else {
    profile.WriteProfileString(section, entry, *std::get<QString*>(row.m_field));
  }
}

}  // namespace

void ExchangeSection(CProfile& profile, const char16_t* sectionKey, std::span<const CProfileRow> rows,
                     DataDirection direction) {
  const QString section = QString::fromUtf16(sectionKey);
  for (const CProfileRow& row : rows) {
    if (direction == DataDirection::ToControls) {
      LoadRow(profile, section, row);
    } else {
      SaveRow(profile, section, row);
    }
  }
}

}  // namespace zef
