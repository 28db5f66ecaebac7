#include "platform/system/profilerows.h"

#include "platform/system/profile.h"

namespace zef {

void ExchangeSection(CProfile& profile, const char16_t* sectionKey, std::span<const CProfileRow> rows,
                     DataDirection direction) {
  const bool load = direction == DataDirection::ToControls;
  const QString section = QString::fromUtf16(sectionKey);
  for (const CProfileRow& row : rows) {
    const QString entry = QString::fromUtf16(row.m_pszKey);
    if (bool* const* flag = std::get_if<bool*>(&row.m_field)) {
      if (load)
        **flag = profile.GetProfileInt(section, entry, row.m_nAbsent) != 0;
      else
        profile.WriteProfileInt(section, entry, **flag ? 1 : 0);
    } else if (int* const* number = std::get_if<int*>(&row.m_field)) {
      if (load)
        **number = profile.GetProfileInt(section, entry, row.m_nAbsent);
      else
        profile.WriteProfileInt(section, entry, **number);
    } else {
      QString& text = *std::get<QString*>(row.m_field);
      if (load)
        text = profile.GetProfileString(section, entry, QString::fromUtf16(row.m_pszAbsent));
      else
        profile.WriteProfileString(section, entry, text);
    }
  }
}

}  // namespace zef
