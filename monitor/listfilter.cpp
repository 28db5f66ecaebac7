#include "monitor/listfilter.h"

#include "monitor/filtersdlg.h"
#include "monitor/monitorlist.h"

#include <algorithm>

namespace zef {

CListFilter::CListFilter(CMonitorList& list, const CFilterSettings& settings)
    : m_list(list),
      m_settings(settings),
      // Judging threads read the labels while the list waits for them, so
      // the senders do not change under them.
      m_judge([&list](std::uint32_t key) { return list.Senders().Label(key); }) {}

QStringList CListFilter::ApplyRules() {
  const QStringList errors = m_judge.SetRules(m_settings.m_vRules);
  Install(false);
  return errors;
}

QString CListFilter::SetQuery(QStringView text, bool regex) {
  const CLineJudge::SQueryChange change = m_judge.SetQuery(text, regex);
  if (change.bChanged) Install(change.bNarrows && m_list.HasLineFilter());
  return change.strError;
}

bool CListFilter::Drops(const QString& line, std::uint32_t labelKey) const {
  return m_judge.Drops() && m_judge.Judge(line, labelKey).bDrop;
}

void CListFilter::Install(bool narrowing) {
  if (!m_judge.IsActive()) {
    if (m_list.HasLineFilter()) m_list.SetLineFilter({});
    m_list.SetRowBackground({});
    return;
  }
  const CLineJudge* judge = &m_judge;
  m_list.SetLineFilter([judge](const SHeldLine& line) { return judge->Judge(line.text, line.stamp.nSender).bShown; },
                       narrowing);
  const bool highlights = std::any_of(m_settings.m_vRules.begin(), m_settings.m_vRules.end(),
                                      [](const SFilterRule& rule) { return rule.action == EFilterAction::Highlight; });
  if (!highlights) {
    m_list.SetRowBackground({});
    return;
  }
  m_list.SetRowBackground([judge](const SHeldLine& line) {
    const int colour = judge->Judge(line.text, line.stamp.nSender).nColour;
    return colour >= 0 ? HighlightColour(colour) : QColor();
  });
}

}  // namespace zef
