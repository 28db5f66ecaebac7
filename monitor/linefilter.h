// The filter bar's query: the words typed into the bar, parsed once and
// matched against each line.
//
//   error timeout      lines holding "error" and "timeout" (words are ANDed)
//   -debug             lines not holding "debug"
//   Error              "Error" with this case (a capital makes a word case-sensitive)
//   @worker            lines whose sender's label holds "worker"
//   re:time[0-9]+ms    a regular expression (RE2); the bar's toggle makes every word one
//   "two words"        a word with spaces; -"…", @"…" and re:"…" too
//
// The prefixes combine in this order: -@re:name. A word that is only a
// prefix ("-", "@", "re:") is still being typed and is left out.
//
// A query is immutable once parsed: Matches may run on several threads.
#pragma once

#include "monitor/linematcher.h"

#include <QAnyStringView>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

namespace zef {

class CBarQuery {
 public:
  // The empty query: every line passes.
  CBarQuery() = default;
  // `regex`: the bar's toggle, every word a regular expression.
  static CBarQuery Parse(QStringView text, bool regex = false);

  struct SWord {
    CTextMatcher matcher;
    bool bExclude = false;
    bool bSender = false;  // matched against the sender's label, not the text
  };

  bool IsEmpty() const { return m_vWords.empty(); }
  // Why a word cannot be used ("re:(a: missing ): (a"), empty when all can.
  // A query with an error matches no line; the bar shows the error and the
  // caller keeps the last query that had none.
  const QString& Error() const { return m_strError; }
  bool NeedsSender() const { return m_bNeedsSender; }
  const std::vector<SWord>& Words() const { return m_vWords; }

  // Whether a line with own text `text` passes. `sender` gives the label
  // of the line's sender; it is called only when a word names one.
  bool Matches(QAnyStringView text, const std::function<QString()>& sender) const;

  // Whether every line this query passes was passed by `previous` too (a
  // word was added or lengthened, nothing else changed), so that only the
  // lines shown under `previous` need to be judged again.
  bool Narrows(const CBarQuery& previous) const;

 private:
  std::vector<SWord> m_vWords;
  QString m_strError;
  bool m_bNeedsSender = false;
};

}  // namespace zef
