#include "platform/listbox/linesearch.h"

#include <QChar>
#include <QLatin1StringView>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zef {

namespace {

// Simple case folding of every Latin-1 unit, as QChar::toCaseFolded gives it
// (U+00B5 folds to U+03BC, the only result outside Latin-1).
const std::array<char16_t, 256>& Latin1Fold() {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> t{};
    for (int c = 0; c < 256; ++c) t[std::size_t(c)] = QChar(char16_t(c)).toCaseFolded().unicode();
    return t;
  }();
  return table;
}

QStringView AsView(const CStoredText& text) {
  return QStringView(reinterpret_cast<const char16_t*>(text.pData), qsizetype(text.nUnits));
}

QLatin1StringView AsLatin1(const CStoredText& text) { return QLatin1StringView(text.pData, qsizetype(text.nUnits)); }

// The key a unit is filed under: itself when case matters, else its fold.
// A surrogate stays as it is: a letter outside the BMP and its other case
// share their high surrogate.
char16_t KeyOf(char16_t unit, Qt::CaseSensitivity cs) {
  if (cs == Qt::CaseSensitive || QChar::isSurrogate(unit)) return unit;
  return char16_t(QChar::toCaseFolded(char32_t(unit)));
}

}  // namespace

CLineSearch::CLineSearch(QStringView needle, Qt::CaseSensitivity cs) : m_needle(needle), m_cs(cs) {
  const bool sensitive = cs == Qt::CaseSensitive;
  const std::array<char16_t, 256>& fold = Latin1Fold();
  for (int b = 0; b < 256; ++b) {
    m_classes[b] = (unsigned char)b;
    if (!sensitive)
      for (int a = 0; a < b; ++a)
        if (fold[std::size_t(a)] == fold[std::size_t(b)]) {
          m_classes[b] = (unsigned char)a;
          break;
        }
  }
  // Folded the way QString's case-insensitive search folds (a surrogate
  // pair as one code point).
  const QString folded = sensitive ? QString() : needle.toString().toCaseFolded();
  const QStringView units = sensitive ? needle : QStringView(folded);
  for (qsizetype k = 0; k < units.size() && m_bLatin1Possible; ++k) {
    const char16_t unit = units[k].unicode();
    int byte = -1;
    if (sensitive) {
      if (unit <= 0xFF) byte = unit;
    } else {
      for (int b = 0; b < 256 && byte < 0; ++b)
        if (fold[std::size_t(b)] == unit) byte = b;
    }
    if (byte < 0) m_bLatin1Possible = false;
    else m_strClasses.push_back(char(m_classes[byte]));
  }
  if (!m_bLatin1Possible) m_strClasses.clear();

  const std::size_t m = m_strClasses.size();
  const auto* nc = reinterpret_cast<const unsigned char*>(m_strClasses.data());
  if (m >= 2) {
    const auto limit = std::uint16_t(std::min<std::size_t>(m - 1, 0xFFFF));
    m_vSkip.assign(65536, limit);
    for (std::size_t j = 1; j + 1 < m; ++j)
      m_vSkip[(std::size_t(nc[j - 1]) << 8) | nc[j]] = std::uint16_t(std::min<std::size_t>(m - 1 - j, 0xFFFF));
  } else if (m == 1) {
    for (int b = 0; b < 256; ++b)
      if (m_classes[b] == nc[0]) m_vSingleBytes.push_back((unsigned char)b);
  }
  if (m >= 2) {
    const auto bytesOf = [this](unsigned char cls) {
      std::vector<unsigned char> set;
      for (int b = 0; b < 256; ++b)
        if (m_classes[b] == cls) set.push_back((unsigned char)b);
      if (set.size() > 4) set.clear();
      return set;
    };
    m_vFirstBytes = bytesOf(nc[0]);
    m_vLastBytes = bytesOf(nc[m - 1]);
    if (m_vFirstBytes.empty() || m_vLastBytes.empty()) m_vFirstBytes.clear();
  }
}

#if defined(__SSE2__)
namespace {

// A set of up to four bytes as lanes to compare with, made once per scan;
// a set of one or two is tested with as many compares.
struct SByteSet {
  explicit SByteSet(const std::vector<unsigned char>& set) {
    for (std::size_t k = 0; k < 4; ++k) lanes[k] = _mm_set1_epi8(char(set[std::min(k, set.size() - 1)]));
    bFour = set.size() > 2;
  }
  __m128i AnyOf(__m128i v) const {
    const __m128i two = _mm_or_si128(_mm_cmpeq_epi8(v, lanes[0]), _mm_cmpeq_epi8(v, lanes[1]));
    if (!bFour) return two;
    return _mm_or_si128(two, _mm_or_si128(_mm_cmpeq_epi8(v, lanes[2]), _mm_cmpeq_epi8(v, lanes[3])));
  }
  __m128i lanes[4];
  bool bFour;
};

}  // namespace

// The windows whose first and last bytes are of the needle's first and last
// classes, sixteen positions per step; only those are compared in full. The
// last step overlaps the one before it so that no window is left over.
bool CLineSearch::ScanWide(const unsigned char* bytes, std::size_t& i, std::size_t end) const {
  const std::size_t m = m_strClasses.size();
  if (m_vFirstBytes.empty() || end - i < m - 1 + 16) return false;
  const auto* nc = reinterpret_cast<const unsigned char*>(m_strClasses.data());
  const std::size_t lastStep = end - (m - 1) - 16;
  const SByteSet heads(m_vFirstBytes), tails(m_vLastBytes);
  for (std::size_t at = i, skip = 0;; at = std::min(at + 16, lastStep)) {
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + m - 1));
    unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(heads.AnyOf(head), tails.AnyOf(tail))));
    for (mask &= ~0u << skip; mask != 0; mask &= mask - 1) {
      const std::size_t window = at + std::size_t(__builtin_ctz(mask));
      std::size_t j = 1;
      while (j + 1 < m && m_classes[bytes[window + j]] == nc[j]) ++j;
      if (j + 1 >= m) {
        i = window;
        return true;
      }
    }
    if (at == lastStep) break;
    // Windows below at + 16 are done; the next step may start lower.
    skip = unsigned(at + 16 - std::min(at + 16, lastStep));
  }
  i = end;
  return false;
}
#else
bool CLineSearch::ScanWide(const unsigned char*, std::size_t&, std::size_t) const { return false; }
#endif

std::size_t CLineSearch::NextInLatin1(const char* data, std::size_t pos, std::size_t end) const {
  const std::size_t m = m_strClasses.size();
  if (m == 0 || pos > end || end - pos < m) return end;
  if (m == 1) {
    std::size_t best = end;
    for (unsigned char b : m_vSingleBytes)
      if (const void* hit = std::memchr(data + pos, b, best - pos))
        best = std::size_t(static_cast<const char*>(hit) - data);
    return best;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  const auto* nc = reinterpret_cast<const unsigned char*>(m_strClasses.data());
  std::size_t i = pos;
  if (ScanWide(bytes, i, end)) return i;
  for (; i + m <= end;) {
    const unsigned char a = m_classes[bytes[i + m - 2]];
    const unsigned char b = m_classes[bytes[i + m - 1]];
    if (a == nc[m - 2] && b == nc[m - 1]) {
      std::size_t j = 0;
      while (j + 2 < m && m_classes[bytes[i + j]] == nc[j]) ++j;
      if (j + 2 >= m) return i;
    }
    i += m_vSkip[(std::size_t(a) << 8) | b];
  }
  return end;
}

bool CLineSearch::In(const CStoredText& text) const {
  if (text.bWide) return AsView(text).contains(m_needle, m_cs);
  return NextInLatin1(text.pData, 0, text.nUnits) < text.nUnits;
}

bool CLineSearch::In(QAnyStringView text) const {
  // Only UTF-16 units take two bytes each (an empty text is all one).
  const bool wide = text.size_bytes() != text.size();
  return In(CStoredText{static_cast<const char*>(text.data()), std::size_t(text.size()), wide});
}

CIndentMatch::CIndentMatch(QStringView indent, const CLineSearch& search) : m_search(search) {
  const QStringView needle = search.Needle();
  const Qt::CaseSensitivity cs = search.Sensitivity();
  const qsizetype period = indent.size();
  if (period == 0 || needle.isEmpty()) return;
  // Indents are periodic: whatever an indent of any depth holds, this many
  // repetitions hold starting within their first one.
  const qsizetype repeats = (needle.size() + period - 1) / period + 1;
  QString repeated;
  repeated.reserve(repeats * period);
  for (qsizetype r = 0; r < repeats; ++r) repeated += indent;

  const qsizetype inside = QStringView(repeated).indexOf(needle, 0, cs);
  if (inside >= 0) m_nInsideDepth = std::uint32_t((inside + needle.size() + period - 1) / period);

  // A head of `split` units that the indent can end in, at any depth that
  // is long enough for it.
  for (qsizetype split = 1; split < needle.size(); ++split) {
    if (!QStringView(repeated).endsWith(needle.left(split), cs)) continue;
    const Crossing crossing{std::uint32_t((split + period - 1) / period), split};
    m_vCrossings.emplace_back(KeyOf(needle[split].unicode(), cs), crossing);
  }
  std::stable_sort(m_vCrossings.begin(), m_vCrossings.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [key, crossing] : m_vCrossings) m_nCrossDepth = std::min(m_nCrossDepth, crossing.nDepth);
  for (int b = 0; b < 256; ++b) {
    const char16_t key = KeyOf(char16_t(b), cs);
    m_abLatin1Starts[b] =
        std::any_of(m_vCrossings.begin(), m_vCrossings.end(), [key](const auto& entry) { return entry.first == key; });
  }
}

bool CIndentMatch::Matches(std::uint32_t depth, const CStoredText& text) const {
  if (depth >= m_nInsideDepth) return true;
  if (depth < m_nCrossDepth || text.nUnits == 0) return false;
  if (!text.bWide && !m_abLatin1Starts[(unsigned char)text.pData[0]]) return false;
  const char16_t first = text.bWide ? AsView(text).front().unicode() : char16_t((unsigned char)text.pData[0]);
  const char16_t key = KeyOf(first, m_search.Sensitivity());
  const auto lower = std::lower_bound(m_vCrossings.begin(), m_vCrossings.end(), key,
                                      [](const auto& entry, char16_t k) { return entry.first < k; });
  const QStringView needle = m_search.Needle();
  const Qt::CaseSensitivity cs = m_search.Sensitivity();
  for (auto it = lower; it != m_vCrossings.end() && it->first == key; ++it) {
    if (depth < it->second.nDepth) continue;
    const QStringView tail = needle.mid(it->second.nSplit);
    if (text.bWide ? AsView(text).startsWith(tail, cs) : AsLatin1(text).startsWith(tail, cs)) return true;
  }
  return false;
}

}  // namespace zef
