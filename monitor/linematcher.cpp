#include "monitor/linematcher.h"

#include "platform/listbox/linesearch.h"

#include <QByteArray>
#include <QChar>

#include <re2/filtered_re2.h>
#include <re2/re2.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

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

// Whether every two Latin-1 characters that are one another's case differ
// only in bit 0x20 (A/a, À/à): then OR-ing 0x20 into text and needle alike
// never parts two that fold together.
bool Latin1FoldsBy0x20() {
  static const bool answer = [] {
    for (int a = 0; a < 256; ++a)
      for (int b = a + 1; b < 256; ++b)
        if (QChar(char16_t(a)).toCaseFolded() == QChar(char16_t(b)).toCaseFolded() && (a | 0x20) != (b | 0x20))
          return false;
    return true;
  }();
  return answer;
}

// A compiled pattern's identity, never reused while the program runs (an
// address may be, once its pattern is gone).
std::uint64_t NextPatternId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

// RE2 keeps one DFA cache per object behind a lock that every matching
// thread takes, so threads judging together queue on it (two were slower
// than one). Each thread matches with a copy of its own instead, made at
// its first line; a thread keeps the copies of its last few patterns.
const RE2& ForThisThread(const RE2& shared, std::uint64_t id) {
  struct SCopy {
    std::uint64_t nId;
    std::unique_ptr<RE2> pRe;
  };
  constexpr std::size_t kKept = 4;
  thread_local std::vector<SCopy> copies;
  for (SCopy& copy : copies)
    if (copy.nId == id) return *copy.pRe;
  if (copies.size() == kKept) copies.erase(copies.begin());
  copies.push_back({id, std::make_unique<RE2>(shared.pattern(), shared.options())});
  return *copies.back().pRe;
}

bool Search(const RE2& re, std::uint64_t id, const char* data, qsizetype size) {
  return RE2::PartialMatch(re2::StringPiece(data, std::size_t(size)), ForThisThread(re, id));
}

}  // namespace

struct CTextMatcher::SCompiled {
  QString strPattern;
  bool bRegex = false;
  Qt::CaseSensitivity cs = Qt::CaseInsensitive;
  QString strError;
  // A substring: the needle search over strPattern (which it points into).
  std::optional<CLineSearch> search;
  // For a needle of two Latin-1 bytes or more: its first and last byte (with
  // 0x20 set when case is ignored), which 16 windows at a time are checked
  // for before the whole needle is.
  bool bBlockScan = false;
  unsigned char nFoldBit = 0;
  unsigned char nFirst = 0;
  unsigned char nLast = 0;
  // A regular expression: compiled for UTF-8 text, and for Latin-1 text
  // when the pattern is written in Latin-1 (else Latin-1 text is widened).
  std::unique_ptr<RE2> pUtf8;
  std::unique_ptr<RE2> pLatin1;
  std::uint64_t nUtf8Id = NextPatternId();
  std::uint64_t nLatin1Id = NextPatternId();
  // Literals (lower-case ASCII) some combination of which a text must hold
  // for the regular expression to match, as RE2 works them out, each found
  // by a substring matcher: most lines are turned away without running RE2.
  // vPasses says, for each set of literals found (bit i: vAtoms[i]), whether
  // the text may match.
  std::vector<CTextMatcher> vAtoms;
  std::vector<bool> vPasses;

  bool MatchesAll() const { return strPattern.isEmpty() && strError.isEmpty(); }
  void SetUpPrefilter(const std::string& utf8Pattern, const RE2::Options& options);
  bool MayMatch(QAnyStringView text) const;
  bool MatchLatin1(const char* data, qsizetype size) const;
  bool FindLatin1(const char* data, std::size_t size) const;
  void SetUpBlockScan();
  bool MatchUtf16(QStringView text) const;
  bool MatchUtf8(const char* data, qsizetype size) const;
};

void CTextMatcher::SCompiled::SetUpPrefilter(const std::string& utf8Pattern, const RE2::Options& options) {
  constexpr int kMinAtom = 3;   // shorter literals turn too few lines away to pay
  constexpr int kMaxAtoms = 8;  // each one more doubles the table
  re2::FilteredRE2 prefilter(kMinAtom);
  int id = 0;
  if (prefilter.Add(utf8Pattern, options, &id) != RE2::NoError) return;
  std::vector<std::string> atoms;
  prefilter.Compile(&atoms);
  // A pattern with no literal passes every text; a literal beyond ASCII is
  // lower-cased by RE2's rules, which need not be the substring search's.
  if (atoms.empty() || atoms.size() > std::size_t(kMaxAtoms)) return;
  for (const std::string& atom : atoms)
    if (!std::all_of(atom.begin(), atom.end(), [](char c) { return (unsigned char)c < 0x80; })) return;
  for (const std::string& atom : atoms)
    vAtoms.emplace_back(QString::fromLatin1(atom.data(), qsizetype(atom.size())), false, EMatchCase::Insensitive);
  vPasses.resize(std::size_t(1) << atoms.size());
  std::vector<int> found;
  std::vector<int> potential;
  for (std::size_t set = 0; set < vPasses.size(); ++set) {
    found.clear();
    for (std::size_t i = 0; i < atoms.size(); ++i)
      if (set & (std::size_t(1) << i)) found.push_back(int(i));
    prefilter.AllPotentials(found, &potential);
    vPasses[set] = !potential.empty();
  }
}

bool CTextMatcher::SCompiled::MayMatch(QAnyStringView text) const {
  if (vAtoms.empty()) return true;
  std::size_t found = 0;
  for (std::size_t i = 0; i < vAtoms.size(); ++i)
    if (vAtoms[i].Matches(text)) found |= std::size_t(1) << i;
  return vPasses[found];
}

bool CTextMatcher::SCompiled::MatchLatin1(const char* data, qsizetype size) const {
  if (search) return FindLatin1(data, std::size_t(size));
  if (!MayMatch(QLatin1StringView(data, size))) return false;
  if (pLatin1) return Search(*pLatin1, nLatin1Id, data, size);
  const QByteArray utf8 = QString::fromLatin1(data, size).toUtf8();
  return Search(*pUtf8, nUtf8Id, utf8.constData(), utf8.size());
}

// A line is short: most of the needle search's time would go to its skip
// table's look-ups, each waiting on the one before. Comparing a needle's
// first and last byte across 16 windows at once leaves few windows to check.
bool CTextMatcher::SCompiled::FindLatin1(const char* data, std::size_t size) const {
  std::size_t at = 0;
#ifdef __SSE2__
  if (bBlockScan) {
    const std::size_t m = search->Latin1Length();
    const __m128i fold = _mm_set1_epi8(char(nFoldBit));
    const __m128i first = _mm_set1_epi8(char(nFirst));
    const __m128i last = _mm_set1_epi8(char(nLast));
    for (; at + m - 1 + 16 <= size; at += 16) {
      const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)), fold);
      const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + m - 1)), fold);
      for (unsigned mask =
               unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
           mask != 0; mask &= mask - 1) {
        const std::size_t window = at + std::size_t(__builtin_ctz(mask));
        if (search->NextInLatin1(data, window, window + m) == window) return true;
      }
    }
    // The last windows, fewer than 16, one at a time the same way.
    for (; at + m <= size; ++at) {
      if ((((unsigned char)data[at]) | nFoldBit) == nFirst && (((unsigned char)data[at + m - 1]) | nFoldBit) == nLast &&
          search->NextInLatin1(data, at, at + m) == at)
        return true;
    }
    return false;
  }
#endif
  return search->NextInLatin1(data, at, size) < size;
}

void CTextMatcher::SCompiled::SetUpBlockScan() {
  if (search->Latin1Length() < 2) return;
  const bool sensitive = cs == Qt::CaseSensitive;
  if (!sensitive && !Latin1FoldsBy0x20()) return;
  // The needle's units as the search compares them (folded when case is
  // ignored); a folded unit stands for any Latin-1 byte that folds to it.
  const QString units = sensitive ? strPattern : strPattern.toCaseFolded();
  if (std::size_t(units.size()) != search->Latin1Length()) return;
  const auto byteOf = [sensitive](QChar unit) -> int {
    if (sensitive) return unit.unicode() <= 0xFF ? unit.unicode() : -1;
    for (int b = 0; b < 256; ++b)
      if (QChar(char16_t(b)).toCaseFolded() == unit) return b;
    return -1;
  };
  const int first = byteOf(units.front());
  const int last = byteOf(units.back());
  if (first < 0 || last < 0) return;
  nFoldBit = sensitive ? 0 : 0x20;
  nFirst = (unsigned char)(first | nFoldBit);
  nLast = (unsigned char)(last | nFoldBit);
  bBlockScan = true;
}

bool CTextMatcher::SCompiled::MatchUtf16(QStringView text) const {
  // A line that fits Latin-1, as nearly every trace line does, takes the
  // narrow path: the block scan, or the pattern compiled for Latin-1.
  const CNarrowedText narrowed(text);
  if (narrowed.Narrowed()) return MatchLatin1(narrowed.Data(), text.size());
  if (search)
    return search->In(CStoredText{reinterpret_cast<const char*>(text.utf16()), std::size_t(text.size()), true});
  if (!MayMatch(text)) return false;
  const QByteArray utf8 = text.toUtf8();
  return Search(*pUtf8, nUtf8Id, utf8.constData(), utf8.size());
}

bool CTextMatcher::SCompiled::MatchUtf8(const char* data, qsizetype size) const {
  if (pUtf8) return Search(*pUtf8, nUtf8Id, data, size);
  return MatchUtf16(QString::fromUtf8(data, size));
}

CNarrowedText::CNarrowedText(QAnyStringView text) : m_view(text) {
  text.visit([this](auto view) {
    if constexpr (std::is_same_v<decltype(view), QStringView>) {
      if (view.size() > qsizetype(sizeof m_narrow)) return;
      char16_t all = 0;
      for (qsizetype i = 0; i < view.size(); ++i) {
        all |= view[i].unicode();
        m_narrow[i] = char(view[i].unicode());
      }
      if (all <= 0xFF) {
        m_view = QLatin1StringView(m_narrow, view.size());
        m_bNarrowed = true;
      }
    }
  });
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
    if (!pattern.isEmpty()) {
      compiled->search.emplace(QStringView(compiled->strPattern), compiled->cs);
      compiled->SetUpBlockScan();
    }
  } else if (!pattern.isEmpty()) {
    compiled->pUtf8 = Compile(pattern.toUtf8().toStdString(), RE2::Options::EncodingUTF8, sensitive);
    if (!compiled->pUtf8->ok()) {
      compiled->strError = QString::fromStdString(compiled->pUtf8->error());
      compiled->pUtf8.reset();
    } else {
      compiled->SetUpPrefilter(compiled->pUtf8->pattern(), compiled->pUtf8->options());
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
