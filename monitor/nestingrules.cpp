#include "monitor/nestingrules.h"

#include <algorithm>
#include <climits>

namespace zef {

CNestingRules::Result CNestingRules::Add(const QString& line) {
  Result result;
  result.closes = line.contains(u'}');
  result.opens = line.contains(u'{');
  if (result.closes && m_nNesting > INT_MIN) --m_nNesting;

  if (m_nNesting > 0 && !m_strIndent.isEmpty()) result.depth = m_nNesting;

  const bool indentOpens = result.depth > 0 && m_bIndentOpens;
  if ((indentOpens || result.opens) && m_nNesting < INT_MAX) ++m_nNesting;

  const qint64 length = qint64(result.depth) * m_strIndent.size() + line.size();
  if (length > m_nLongest) {
    m_nLongest = int(std::min<qint64>(length, INT_MAX));
    result.longest = true;
  }
  return result;
}

}  // namespace zef
