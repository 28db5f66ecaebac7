// What the monitor list shows: the filter rules (Init.Filters) and the
// filter bar's query, judged together by one CLineJudge and put on the list
// as its line filter (and, for highlight rules, its row backgrounds). With no
// rule and an empty bar the list has no filter at all: it behaves and costs
// exactly as it does without one.
#pragma once

#include "monitor/filterjudge.h"
#include "monitor/filtersettings.h"
#include "platform/listbox/linestore.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <thread>

namespace zef {

class CMonitorList;

class CListFilter {
 public:
  // `list` and `settings` must outlive the filter.
  CListFilter(CMonitorList& list, const CFilterSettings& settings);
  ~CListFilter();
  CListFilter(const CListFilter&) = delete;
  CListFilter& operator=(const CListFilter&) = delete;

  // The rules changed (loaded, or the Filters dialog's OK): every held line
  // is judged again. Returns the errors of rules that cannot match.
  QStringList ApplyRules();
  // The bar's text or its regular-expression toggle changed. Returns the
  // error of a bad word (the last good query stays in force), else empty.
  // A query that only narrows the last one re-checks only the shown lines.
  QString SetQuery(QStringView text, bool regex);

  bool IsActive() const { return m_judge.IsActive(); }

 private:
  // The list's drop hook, set while some rule drops lines: whether this
  // line of sender label key `labelKey` is kept out of the list (the log
  // still gets it).
  bool Drops(const QString& line, std::uint32_t labelKey) const;
  void Install(bool narrowing);
  // The list's filter: may run on several threads at once.
  bool Shows(const SHeldLine& line) const;

  CMonitorList& m_list;
  const CFilterSettings& m_settings;
  CLineJudge m_judge;
  // The line Drops judged last, and whether it is shown (UI thread only).
  struct SLast {
    QString strText;
    std::uint32_t nLabelKey = 0;
    bool bShown = true;
    bool bValid = false;
  };
  mutable SLast m_last;
  std::thread::id m_uiThread = std::this_thread::get_id();
};

}  // namespace zef
