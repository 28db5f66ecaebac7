// How the monitor list places a line: call nesting from the braces in the
// lines, the indent the line is shown after, and the longest-line bookkeeping
// that drives the horizontal extent.
#pragma once

#include <QString>

namespace zef {

class CNestingRules {
 public:
  struct Result {
    // The line is shown after the indent string repeated this many times
    // (0 while the nesting is 0 or below, or the indent string is empty).
    int depth = 0;
    bool longest = false;  // it beat the longest length; the extent must follow it
    bool closes = false;   // the line holds '}': it leaves a call
    bool opens = false;    // the line holds '{': it enters one
  };

  // One line added: a '}' anywhere lowers the depth once before the indent
  // is applied; a '{' anywhere in the indented text raises it once after (so
  // an indent string holding '{' counts whenever the line is indented). The
  // length judged for the longest line is that of the indented text. Costs
  // the same at any depth: the indented text is never built.
  Result Add(const QString& line);

  // Emptying the list forgets the longest line; the depth stays.
  void ResetContent() { m_nLongest = 0; }
  void ResetNesting() { m_nNesting = 0; }
  // Takes effect from the next added line on.
  void SetIndent(const QString& indent) {
    m_strIndent = indent;
    m_bIndentOpens = indent.contains(u'{');
  }

  int Nesting() const { return m_nNesting; }
  const QString& Indent() const { return m_strIndent; }
  int LongestLength() const { return m_nLongest; }

 private:
  int m_nNesting = 0;  // unbounded: may go negative and stay there
  QString m_strIndent = QStringLiteral("  ");
  bool m_bIndentOpens = false;  // the indent string holds '{' (looked up once, it may be long)
  int m_nLongest = 0;           // characters of the longest indented line since the last reset
};

}  // namespace zef
