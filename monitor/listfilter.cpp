#include "monitor/listfilter.h"

#include "monitor/filtersdlg.h"
#include "monitor/monitorlist.h"

#include <algorithm>
#include <thread>

namespace zef {

CListFilter::CListFilter(CMonitorList& list, const CFilterSettings& settings)
    : m_list(list),
      m_settings(settings),
      // Judging threads read the labels while the list waits for them, so
      // the senders do not change under them.
      m_judge([&list](std::uint32_t key) { return list.Senders().Label(key); },
              [&list] { return list.Senders().LabelsVersion(); }) {}

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

CListFilter::~CListFilter() { m_list.SetDropFilter({}); }

bool CListFilter::Drops(const QString& line, std::uint32_t labelKey) const {
  const SVerdict verdict = m_judge.Judge(line, labelKey);
  m_last = {line, labelKey, verdict.bShown, true};
  return verdict.bDrop;
}

bool CListFilter::Shows(const SHeldLine& line) const {
  // A line the list stores right after Drops judged it: the same text and
  // sender get the same verdict, so it is not judged twice.
  if (m_last.bValid && std::this_thread::get_id() == m_uiThread && line.stamp.nSender == m_last.nLabelKey &&
      QAnyStringView::equal(line.text, m_last.strText)) {
    return m_last.bShown;
  }
  return m_judge.Judge(line.text, line.stamp.nSender).bShown;
}

void CListFilter::Install(bool narrowing) {
  // The list asks before keeping a line only while some rule drops lines.
  if (m_judge.Drops()) {
    m_list.SetDropFilter([this](const QString& line, std::uint32_t labelKey) { return Drops(line, labelKey); });
  } else {
    m_list.SetDropFilter({});
  }
  if (!m_judge.IsActive()) {
    if (m_list.HasLineFilter()) m_list.SetLineFilter({});
    m_list.SetRowBackground({});
    return;
  }
  m_last.bValid = false;
  const CLineJudge* judge = &m_judge;
  // Highlight rules alone hide nothing: the list then keeps no filter, and
  // only the painted rows are judged, for their colour.
  const bool hides = !m_judge.Query().IsEmpty() ||
                     std::any_of(m_settings.m_vRules.begin(), m_settings.m_vRules.end(),
                                 [](const SFilterRule& rule) { return rule.action != EFilterAction::Highlight; });
  if (hides) m_list.SetLineFilter([this](const SHeldLine& line) { return Shows(line); }, narrowing);
  else if (m_list.HasLineFilter()) m_list.SetLineFilter({});
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
