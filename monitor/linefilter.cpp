#include "monitor/linefilter.h"

namespace zef {

namespace {

struct SToken {
  QStringView body;
  bool bExclude = false;
  bool bSender = false;
  bool bRegex = false;
};

// Reads the token starting at `*pos` (no white space there) and moves past it.
SToken NextToken(QStringView text, qsizetype* pos) {
  SToken token;
  qsizetype i = *pos;
  if (text[i] == u'-') token.bExclude = true, ++i;
  if (i < text.size() && text[i] == u'@') token.bSender = true, ++i;
  if (text.mid(i).startsWith(u"re:")) token.bRegex = true, i += 3;
  qsizetype end = i;
  if (i < text.size() && text[i] == u'"') {
    end = text.indexOf(u'"', i + 1);
    if (end < 0) end = text.size();
    token.body = text.mid(i + 1, end - i - 1);
    if (end < text.size()) ++end;
  } else {
    while (end < text.size() && !text[end].isSpace()) ++end;
    token.body = text.mid(i, end - i);
  }
  *pos = end;
  return token;
}

}  // namespace

CBarQuery CBarQuery::Parse(QStringView text, bool regex) {
  CBarQuery query;
  qsizetype pos = 0;
  while (true) {
    while (pos < text.size() && text[pos].isSpace()) ++pos;
    if (pos >= text.size()) break;
    const qsizetype start = pos;
    const SToken token = NextToken(text, &pos);
    if (token.body.isEmpty()) continue;
    SWord word{CTextMatcher(token.body, regex || token.bRegex), token.bExclude, token.bSender};
    if (!word.matcher.IsValid() && query.m_strError.isEmpty())
      query.m_strError = text.mid(start, pos - start).toString() + QStringLiteral(": ") + word.matcher.Error();
    query.m_bNeedsSender = query.m_bNeedsSender || word.bSender;
    query.m_vWords.push_back(std::move(word));
  }
  return query;
}

bool CBarQuery::Matches(QAnyStringView text, const std::function<QString()>& sender) const {
  if (!m_strError.isEmpty()) return false;
  QString label;
  bool labelRead = false;
  for (const SWord& word : m_vWords) {
    bool hit = false;
    if (word.bSender) {
      if (!labelRead) label = sender ? sender() : QString(), labelRead = true;
      hit = word.matcher.Matches(label);
    } else {
      hit = word.matcher.Matches(text);
    }
    if (hit == word.bExclude) return false;
  }
  return true;
}

bool CBarQuery::Narrows(const CBarQuery& previous) const {
  if (!m_strError.isEmpty() || !previous.m_strError.isEmpty()) return false;
  // Each earlier word must have a word here, in the same order, that lets
  // through no more than it did; words added here only take lines away.
  std::size_t next = 0;
  for (const SWord& old : previous.m_vWords) {
    bool found = false;
    for (; next < m_vWords.size() && !found; ++next) {
      const SWord& word = m_vWords[next];
      if (word.bExclude != old.bExclude || word.bSender != old.bSender) continue;
      // An exclusion takes away at least as much when its own matches
      // hold the earlier one's ("-debu" after "-debug").
      found = word.bExclude ? old.matcher.Within(word.matcher) : word.matcher.Within(old.matcher);
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace zef
