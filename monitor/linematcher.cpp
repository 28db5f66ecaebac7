#include "monitor/linematcher.h"

#include "platform/listbox/linesearch.h"

#include <QByteArray>
#include <QChar>

#include <re2/re2.h>

#include <algorithm>
#include <optional>
#include <string>
#include <type_traits>

namespace zef {

namespace {

// One pattern compiled for one encoding of the text.
std::unique_ptr<RE2> Compile(const std::string& pattern, RE2::Options::Encoding encoding, bool caseSensitive) {
  RE2::Options options;
  options.set_encoding(encoding);
  options.set_case_sensitive(caseSensitive);
  options.set_max_mem(CTextMatcher::kMaxRegexMemory);
  options.set_log_errors(false);  // a bad pattern is the caller's text to show, not stderr's
  options.set_never_capture(true);
  return std::make_unique<RE2>(pattern, options);
}

bool Search(const RE2& re, const char* data, qsizetype size) {
  return RE2::PartialMatch(re2::StringPiece(data, std::size_t(size)), re);
}

}  // namespace

struct CTextMatcher::SCompiled {
  QString strPattern;
  bool bRegex = false;
  Qt::CaseSensitivity cs = Qt::CaseInsensitive;
  QString strError;
  // A substring: the needle search over strPattern (which it points into).
  std::optional<CLineSearch> search;
  // A regular expression: compiled for UTF-8 text, and for Latin-1 text
  // when the pattern is written in Latin-1 (else Latin-1 text is widened).
  std::unique_ptr<RE2> pUtf8;
  std::unique_ptr<RE2> pLatin1;

  bool MatchesAll() const { return strPattern.isEmpty() && strError.isEmpty(); }
  bool MatchLatin1(const char* data, qsizetype size) const;
  bool MatchUtf16(QStringView text) const;
  bool MatchUtf8(const char* data, qsizetype size) const;
};

bool CTextMatcher::SCompiled::MatchLatin1(const char* data, qsizetype size) const {
  if (search) return search->In(CStoredText{data, std::size_t(size), false});
  if (pLatin1) return Search(*pLatin1, data, size);
  const QByteArray utf8 = QString::fromLatin1(data, size).toUtf8();
  return Search(*pUtf8, utf8.constData(), utf8.size());
}

bool CTextMatcher::SCompiled::MatchUtf16(QStringView text) const {
  if (search)
    return search->In(CStoredText{reinterpret_cast<const char*>(text.utf16()), std::size_t(text.size()), true});
  const QByteArray utf8 = text.toUtf8();
  return Search(*pUtf8, utf8.constData(), utf8.size());
}

bool CTextMatcher::SCompiled::MatchUtf8(const char* data, qsizetype size) const {
  if (pUtf8) return Search(*pUtf8, data, size);
  return MatchUtf16(QString::fromUtf8(data, size));
}

bool HoldsCapital(QStringView pattern, bool regex) {
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    if (regex && pattern[i] == u'\\') {
      ++i;  // \S, \W, \D, \Q and their kind are classes and operators, not letters
      continue;
    }
    if (pattern[i].isUpper()) return true;
  }
  return false;
}

CTextMatcher::CTextMatcher() : CTextMatcher(QStringView(), false) {}

CTextMatcher::CTextMatcher(QStringView pattern, bool regex, EMatchCase matchCase) {
  auto compiled = std::make_shared<SCompiled>();
  compiled->strPattern = pattern.toString();
  compiled->bRegex = regex;
  const bool sensitive =
      matchCase == EMatchCase::Sensitive || (matchCase == EMatchCase::Smart && HoldsCapital(pattern, regex));
  compiled->cs = sensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
  if (!regex) {
    if (!pattern.isEmpty()) compiled->search.emplace(QStringView(compiled->strPattern), compiled->cs);
  } else if (!pattern.isEmpty()) {
    compiled->pUtf8 = Compile(pattern.toUtf8().toStdString(), RE2::Options::EncodingUTF8, sensitive);
    if (!compiled->pUtf8->ok()) {
      compiled->strError = QString::fromStdString(compiled->pUtf8->error());
      compiled->pUtf8.reset();
    } else {
      const bool latin1 = std::all_of(pattern.begin(), pattern.end(), [](QChar c) { return c.unicode() <= 0xFF; });
      if (latin1) {
        compiled->pLatin1 = Compile(pattern.toLatin1().toStdString(), RE2::Options::EncodingLatin1, sensitive);
        if (!compiled->pLatin1->ok()) compiled->pLatin1.reset();
      }
    }
  }
  m_pCompiled = std::move(compiled);
}

bool CTextMatcher::Matches(QAnyStringView text) const {
  const SCompiled& c = *m_pCompiled;
  if (!c.strError.isEmpty()) return false;
  if (c.MatchesAll()) return true;
  return text.visit([&c](auto view) {
    using View = decltype(view);
    if constexpr (std::is_same_v<View, QLatin1StringView>) return c.MatchLatin1(view.data(), view.size());
    else if constexpr (std::is_same_v<View, QStringView>) return c.MatchUtf16(view);
    else return c.MatchUtf8(reinterpret_cast<const char*>(view.data()), view.size());
  });
}

bool CTextMatcher::IsValid() const { return m_pCompiled->strError.isEmpty(); }
QString CTextMatcher::Error() const { return m_pCompiled->strError; }
const QString& CTextMatcher::Pattern() const { return m_pCompiled->strPattern; }
bool CTextMatcher::IsRegex() const { return m_pCompiled->bRegex; }
Qt::CaseSensitivity CTextMatcher::Sensitivity() const { return m_pCompiled->cs; }

bool CTextMatcher::Within(const CTextMatcher& wider) const {
  const SCompiled& mine = *m_pCompiled;
  const SCompiled& other = *wider.m_pCompiled;
  if (!mine.strError.isEmpty() || other.MatchesAll()) return true;
  if (!other.strError.isEmpty() || mine.MatchesAll()) return false;
  if (mine.bRegex || other.bRegex)
    return mine.bRegex && other.bRegex && mine.cs == other.cs && mine.strPattern == other.strPattern;
  if (other.cs == Qt::CaseSensitive && mine.cs != Qt::CaseSensitive) return false;
  return mine.strPattern.contains(other.strPattern, other.cs);
}

}  // namespace zef
