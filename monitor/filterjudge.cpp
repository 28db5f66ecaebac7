#include "monitor/filterjudge.h"

#include <atomic>
#include <optional>

namespace zef {

namespace {

constexpr int kSenderBits = 64;

std::uint64_t NextRulesId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

CLineJudge::CLineJudge(SenderLabel senderLabel, LabelsVersion labelsVersion)
    : m_senderLabel(std::move(senderLabel)), m_labelsVersion(std::move(labelsVersion)) {}

QStringList CLineJudge::SetRules(const std::vector<SFilterRule>& rules) {
  QStringList errors;
  m_vRules.clear();
  m_bShowOnly = m_bDrops = false;
  m_nRulesId = NextRulesId();
  int senderBits = 0;
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
    if (compiled.bHasSender && senderBits < kSenderBits) compiled.nSenderBit = senderBits++;
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

SVerdict CLineJudge::Judge(QAnyStringView line, std::uint32_t labelKey) const {
  SVerdict verdict;
  const CNarrowedText narrowed(line);  // once for every rule and word
  const QAnyStringView text = narrowed.View();
  // The label is made once per line, and only when a rule or word needs it.
  std::optional<QString> label;
  const auto senderLabel = [&]() -> const QString& {
    if (!label) label = m_senderLabel ? m_senderLabel(labelKey) : QString();
    return *label;
  };
  std::optional<std::uint64_t> sendersPassed;
  const auto passesSender = [&](const SRule& rule) {
    if (rule.nSenderBit < 0) return rule.sender.Matches(senderLabel());
    if (!sendersPassed) sendersPassed = SendersPassed(labelKey, senderLabel);
    return (*sendersPassed >> rule.nSenderBit & 1) != 0;
  };
  bool decided = false;
  for (const SRule& rule : m_vRules) {
    if (rule.bHasSender && !passesSender(rule)) continue;
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

std::uint64_t CLineJudge::SendersPassed(std::uint32_t labelKey, const std::function<const QString&()>& label) const {
  const auto work = [&] {
    std::uint64_t passed = 0;
    for (const SRule& rule : m_vRules)
      if (rule.nSenderBit >= 0 && rule.sender.Matches(label())) passed |= std::uint64_t(1) << rule.nSenderBit;
    return passed;
  };
  if (!m_labelsVersion) return work();
  // Lines come in runs from a few senders: a small table per thread, one
  // place per key, holds the last verdicts.
  struct SKept {
    std::uint64_t nRulesId = 0;
    std::uint64_t nLabelsVersion = 0;
    std::uint32_t nKey = 0;
    std::uint64_t nPassed = 0;
  };
  thread_local SKept kept[16];
  SKept& slot = kept[labelKey % 16];
  const std::uint64_t version = m_labelsVersion();
  if (slot.nRulesId != m_nRulesId || slot.nLabelsVersion != version || slot.nKey != labelKey)
    slot = {m_nRulesId, version, labelKey, work()};
  return slot.nPassed;
}

}  // namespace zef
