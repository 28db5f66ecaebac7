// How the monitor list rewrites a line before storing it: call nesting from
// the braces in the lines, the indent prefix, and the longest-line bookkeeping
// that drives the horizontal extent.
#pragma once

#include <QString>

namespace zef {

class CNestingRules {
 public:
  struct Result {
    QString text;         // the line as stored: the prefix, then the line
    bool longest = false; // it beat the longest length; the extent must follow it
  };

  // One line added: a '}' anywhere lowers the depth once before the prefix is
  // built; a '{' anywhere in the prefixed text raises it once after (so an
  // indent string holding '{' counts whenever the prefix is not empty).
  Result Add(const QString& line);

  // Emptying the list forgets the longest line; the depth stays.
  void ResetContent() { m_nLongest = 0; }
  void ResetNesting() { m_nNesting = 0; }
  // Takes effect from the next added line on.
  void SetIndent(const QString& indent) { m_strIndent = indent; }

  int Nesting() const { return m_nNesting; }
  const QString& Indent() const { return m_strIndent; }
  int LongestLength() const { return m_nLongest; }

 private:
  int m_nNesting = 0;  // unbounded: may go negative and stay there
  QString m_strIndent = QStringLiteral("  ");
  int m_nLongest = 0;  // characters of the longest stored line since the last reset
};

}  // namespace zef
