// One word of a filter: a substring or a regular expression, matched
// against a line's own text (its indent is never part of it).
//
// A substring is found without copying the line, in Latin-1 bytes through
// the list's needle search and in UTF-16 as QStringView does. A regular
// expression is an RE2 pattern: matching takes time linear in the text and
// memory bounded by kMaxRegexMemory, whatever the pattern, so a pattern typed
// by the user or read from a damaged settings file cannot freeze the monitor.
// A pattern that does not compile leaves the matcher invalid, with the
// reason in Error(); an invalid matcher matches nothing.
//
// A matcher never changes once built, and copies share one compiled form:
// Matches may be called from several threads at once.
#pragma once

#include <QAnyStringView>
#include <QString>
#include <QStringView>

#include <memory>

namespace zef {

enum class EMatchCase {
  Smart,      // case-insensitive unless the pattern holds a capital letter
  Sensitive,  // always
  Insensitive,
};

class CTextMatcher {
 public:
  // Bytes RE2 may use for one compiled pattern; past it a match still ends,
  // on RE2's slower linear path.
  static constexpr long kMaxRegexMemory = 8 << 20;

  // Matches every text.
  CTextMatcher();
  CTextMatcher(QStringView pattern, bool regex, EMatchCase matchCase = EMatchCase::Smart);

  bool Matches(QAnyStringView text) const;

  bool IsValid() const;
  // Why the pattern did not compile ("missing ): (a"), or empty.
  QString Error() const;
  const QString& Pattern() const;
  bool IsRegex() const;
  Qt::CaseSensitivity Sensitivity() const;

  // Whether every text this matcher matches is matched by `wider` as well,
  // judged from the patterns: the same regular expression, or a substring
  // that holds `wider`'s substring (folded when `wider` ignores case).
  bool Within(const CTextMatcher& wider) const;

 private:
  struct SCompiled;
  std::shared_ptr<const SCompiled> m_pCompiled;
};

// A text as matchers read it fastest: a UTF-16 text of up to 256 units
// that fits Latin-1 (nearly every trace line) narrowed once into a buffer of
// its own, any other text as it is. A line judged by several matchers is
// narrowed once for all of them.
class CNarrowedText {
 public:
  explicit CNarrowedText(QAnyStringView text);
  CNarrowedText(const CNarrowedText&) = delete;
  CNarrowedText& operator=(const CNarrowedText&) = delete;

  QAnyStringView View() const { return m_view; }
  // Whether View() is the narrowed copy, at Data().
  bool Narrowed() const { return m_bNarrowed; }
  const char* Data() const { return m_narrow; }

 private:
  char m_narrow[256];
  QAnyStringView m_view;
  bool m_bNarrowed = false;
};

// Whether `pattern` holds a capital letter (the smart-case rule). In a
// regular expression, a letter after a backslash (\S, \W) does not count.
bool HoldsCapital(QStringView pattern, bool regex);

}  // namespace zef
