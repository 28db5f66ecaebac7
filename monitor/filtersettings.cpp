#include "monitor/filtersettings.h"

#include "platform/system/profile.h"

namespace zef {

namespace {

const QString kSection = QStringLiteral("Init.Filters");

constexpr std::uint32_t kPalette[] = {0xca4a4a, 0xa2692f, 0x7f7725, 0x278727, 0x268282, 0x3c76c6, 0x9b55ce, 0xc8408f};
constexpr const char16_t* kNames[] = {u"Red", u"Orange", u"Olive", u"Green", u"Teal", u"Blue", u"Purple", u"Pink"};
static_assert(std::size(kPalette) == std::size(kNames));

QString Key(const char16_t* name, int n) { return QString::fromUtf16(name) + QString::number(n); }

// The rule stored as number `n`, or false when what is stored is no rule.
bool LoadRule(const CProfile& profile, int n, SFilterRule* rule) {
  const int action = profile.GetProfileInt(kSection, Key(u"Action", n), -1);
  if (action < int(EFilterAction::ShowOnly) || action > int(EFilterAction::Drop)) return false;
  rule->action = EFilterAction(action);
  rule->strText = profile.GetProfileString(kSection, Key(u"Text", n), QString());
  rule->strSender = profile.GetProfileString(kSection, Key(u"Sender", n), QString());
  if (rule->strText.size() > CFilterSettings::kMaxPattern || rule->strSender.size() > CFilterSettings::kMaxPattern)
    return false;
  if (rule->strText.isEmpty() && rule->strSender.isEmpty()) return false;
  rule->bRegex = profile.GetProfileInt(kSection, Key(u"Regex", n), 0) != 0;
  rule->nColour = profile.GetProfileInt(kSection, Key(u"Colour", n), 0);
  if (rule->nColour < 0 || rule->nColour >= int(std::size(kPalette))) rule->nColour = 0;
  return true;
}

void SaveRule(CProfile& profile, int n, const SFilterRule& rule) {
  profile.WriteProfileString(kSection, Key(u"Text", n), rule.strText);
  profile.WriteProfileInt(kSection, Key(u"Regex", n), rule.bRegex ? 1 : 0);
  profile.WriteProfileString(kSection, Key(u"Sender", n), rule.strSender);
  profile.WriteProfileInt(kSection, Key(u"Action", n), int(rule.action));
  profile.WriteProfileInt(kSection, Key(u"Colour", n), rule.nColour);
}

}  // namespace

void CFilterSettings::Exchange(CProfile& profile, DataDirection direction) {
  if (direction == DataDirection::FromControls) {
    const int count = std::min<int>(int(m_vRules.size()), kMaxRules);
    // A file that never had rules gets no section for none.
    if (count == 0 && profile.GetProfileInt(kSection, QStringLiteral("Count"), -1) == -1) return;
    profile.WriteProfileInt(kSection, QStringLiteral("Count"), count);
    for (int i = 0; i < count; ++i) SaveRule(profile, i + 1, m_vRules[std::size_t(i)]);
    return;
  }
  m_vRules.clear();
  const int count = std::clamp(profile.GetProfileInt(kSection, QStringLiteral("Count"), 0), 0, kMaxRules);
  for (int n = 1; n <= count; ++n) {
    SFilterRule rule;
    if (LoadRule(profile, n, &rule)) m_vRules.push_back(std::move(rule));
  }
}

std::span<const std::uint32_t> HighlightPalette() { return kPalette; }
std::span<const char16_t* const> HighlightNames() { return kNames; }

}  // namespace zef
