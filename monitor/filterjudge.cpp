#include "monitor/filterjudge.h"

#include <optional>

namespace zef {

CLineJudge::CLineJudge(SenderLabel senderLabel) : m_senderLabel(std::move(senderLabel)) {}

QStringList CLineJudge::SetRules(const std::vector<SFilterRule>& rules) {
  QStringList errors;
  m_vRules.clear();
  m_bShowOnly = m_bDrops = false;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const SFilterRule& rule = rules[i];
    if (rule.strText.isEmpty() && rule.strSender.isEmpty()) continue;
    SRule compiled{CTextMatcher(rule.strText, rule.bRegex), CTextMatcher(rule.strSender, false),
                   !rule.strSender.isEmpty(), rule.action, rule.nColour};
    if (!compiled.text.IsValid()) {
      errors << QStringLiteral("Rule %1: %2").arg(i + 1).arg(compiled.text.Error());
      continue;
    }
    m_bShowOnly = m_bShowOnly || rule.action == EFilterAction::ShowOnly;
    m_bDrops = m_bDrops || rule.action == EFilterAction::Drop;
    m_vRules.push_back(std::move(compiled));
  }
  return errors;
}

CLineJudge::SQueryChange CLineJudge::SetQuery(QStringView barText, bool regex) {
  CBarQuery query = CBarQuery::Parse(barText, regex);
  SQueryChange change;
  if (!query.Error().isEmpty()) {
    change.strError = query.Error();
    return change;
  }
  change.bNarrows = query.Narrows(m_query);
  change.bChanged = !(change.bNarrows && m_query.Narrows(query));
  m_query = std::move(query);
  return change;
}

SVerdict CLineJudge::Judge(QAnyStringView text, std::uint32_t labelKey) const {
  SVerdict verdict;
  // The label is made once per line, and only when a rule or word needs it.
  std::optional<QString> label;
  const auto senderLabel = [&]() -> const QString& {
    if (!label) label = m_senderLabel ? m_senderLabel(labelKey) : QString();
    return *label;
  };
  bool decided = false;
  for (const SRule& rule : m_vRules) {
    if (rule.bHasSender && !rule.sender.Matches(senderLabel())) continue;
    if (!rule.text.Matches(text)) continue;
    if (rule.action == EFilterAction::Highlight) {
      if (verdict.nColour < 0) verdict.nColour = rule.nColour;
      continue;
    }
    verdict.bShown = rule.action == EFilterAction::ShowOnly;
    verdict.bDrop = rule.action == EFilterAction::Drop;
    decided = true;
    break;
  }
  if (!decided && m_bShowOnly) verdict.bShown = false;
  if (verdict.bShown && !m_query.IsEmpty()) verdict.bShown = m_query.Matches(text, senderLabel);
  if (!verdict.bShown) verdict.nColour = -1;
  return verdict;
}

}  // namespace zef
