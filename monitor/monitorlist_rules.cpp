#include "monitor/monitorlist_rules.h"

#include <algorithm>
#include <climits>

namespace zef {

CNestingRules::Result CNestingRules::Add(const QString& line) {
  if (line.contains(u'}')) --m_nNesting;

  Result result;
  if (m_nNesting > 0 && !m_strIndent.isEmpty()) {
    const qsizetype prefixLength = m_strIndent.size() * m_nNesting;
    result.text.reserve(prefixLength + line.size());
    for (int level = 0; level < m_nNesting; ++level) result.text += m_strIndent;
    result.text += line;
  } else {
    result.text = line;
  }

  if (result.text.contains(u'{')) ++m_nNesting;

  if (result.text.size() > m_nLongest) {
    m_nLongest = int(std::min<qsizetype>(result.text.size(), INT_MAX));
    result.longest = true;
  }
  return result;
}

}  // namespace zef
