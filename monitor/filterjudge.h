// Whether a line is kept, shown and coloured: the filter rules and the
// filter bar's query judged together, once per line.
//
// The rules are checked in their order. A highlight rule that matches gives
// the line its colour (the first such rule's) and the checking goes on; the
// first show-only, hide or drop rule that matches decides the line. A line
// no deciding rule matches is shown, unless some show-only rule exists: then
// it is hidden. A shown line must pass the bar's query as well. A dropped
// line is never kept in the list (the caller has written it to the log).
// A rule with neither text nor sender, or whose regular expression does not
// compile, matches no line.
//
//   CLineJudge judge([&](std::uint32_t key) { return senders.Label(key); });
//   judge.SetRules(settings.m_vRules);
//   const CLineJudge::SQueryChange change = judge.SetQuery(barText, regexToggle);
//   // per line, from any thread while neither Set… runs:
//   const SVerdict verdict = judge.Judge(line.text, line.stamp.nSender);
//
// With no rule and an empty query IsActive() is false and every line is
// shown: the caller sets no filter at all then.
#pragma once

#include "monitor/filtersettings.h"
#include "monitor/linefilter.h"
#include "monitor/linematcher.h"

#include <QAnyStringView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace zef {

struct SVerdict {
  bool bShown = true;
  bool bDrop = false;  // never kept in the list (bShown is false too)
  int nColour = -1;    // a HighlightPalette index, or -1

  friend bool operator==(const SVerdict&, const SVerdict&) = default;
};

class CLineJudge {
 public:
  // The label of a sender's lines from the label key in their stamps.
  // Called from every thread that judges, only for rules and words that
  // name a sender, at most once per judged line.
  using SenderLabel = std::function<QString(std::uint32_t labelKey)>;
  // A number that changes whenever some label key comes to name another
  // label. Given, the rules' verdicts on a sender are kept per label key
  // (per judging thread) until it changes; not given, every line's sender
  // is matched anew.
  using LabelsVersion = std::function<std::uint64_t()>;

  explicit CLineJudge(SenderLabel senderLabel = {}, LabelsVersion labelsVersion = {});

  // Takes the rules in their order. Returns the errors of rules that cannot
  // match ("Rule 2: missing ): (a"), empty when none.
  QStringList SetRules(const std::vector<SFilterRule>& rules);

  struct SQueryChange {
    QString strError;       // the bar's error text; the last good query stays in force
    bool bChanged = false;  // the query in force changed
    bool bNarrows = false;  // only lines shown before need judging again
  };
  SQueryChange SetQuery(QStringView barText, bool regex = false);
  const CBarQuery& Query() const { return m_query; }

  bool IsActive() const { return !m_vRules.empty() || !m_query.IsEmpty(); }
  // Whether some rule drops lines (the intake asks before keeping a line).
  bool Drops() const { return m_bDrops; }

  SVerdict Judge(QAnyStringView text, std::uint32_t labelKey) const;

 private:
  struct SRule {
    CTextMatcher text;
    CTextMatcher sender;
    bool bHasSender = false;
    EFilterAction action;
    int nColour;
    int nSenderBit = -1;  // its bit in SendersPassed, for the first 64 sender rules
  };

  // Bit i: the sender of `labelKey` passes the sender rule of nSenderBit i.
  std::uint64_t SendersPassed(std::uint32_t labelKey, const std::function<const QString&()>& label) const;

  SenderLabel m_senderLabel;
  LabelsVersion m_labelsVersion;
  std::uint64_t m_nRulesId = 0;  // never the same for two sets of rules
  std::vector<SRule> m_vRules;   // those that can match
  bool m_bShowOnly = false;
  bool m_bDrops = false;
  CBarQuery m_query;
};

}  // namespace zef
