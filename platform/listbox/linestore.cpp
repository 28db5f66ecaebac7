#include "platform/listbox/linestore.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace zef {

namespace {

enum LineFlag : std::uint8_t {
  kWide = 1,      // stored as UTF-16 at an even offset
  kSelected = 2,
};

// A segment is sealed when it reaches this many bytes even if it holds fewer
// than kSegmentLines lines. With the line-length cap, a segment never comes
// near 4 GiB, so 32-bit offsets suffice even after an insert.
constexpr std::size_t kMaxSegmentBytes = std::size_t(1) << 30;

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

// The needle folded unit by unit the way QString's case-insensitive search
// does it (surrogate pairs folded as one code point).
std::u16string FoldNeedle(QStringView needle) {
  std::u16string folded;
  const QString lower = needle.toString().toCaseFolded();
  folded.assign(reinterpret_cast<const char16_t*>(lower.utf16()), std::size_t(lower.size()));
  return folded;
}

}  // namespace

struct CLineStore::Segment {
  std::vector<char> vBytes;
  std::vector<std::uint32_t> vEnds;  // end offset of each line in vBytes
  std::vector<std::uint8_t> vFlags;  // LineFlag bits of each line
  int nWide = 0;                     // lines stored as UTF-16

  int Count() const { return int(vEnds.size()); }

  std::uint32_t Begin(int line) const {
    std::uint32_t begin = line == 0 ? 0 : vEnds[std::size_t(line) - 1];
    if (vFlags[std::size_t(line)] & kWide) begin += begin & 1u;
    return begin;
  }

  // Stores `line` (already cut to kMaxLineLength) at the end.
  void Put(QStringView line, std::uint8_t flags) {
    const std::size_t n = std::size_t(line.size());
    const char16_t* src = line.utf16();
    const std::size_t start = vBytes.size();
    vBytes.resize(start + n);
    char* dst = vBytes.data() + start;
    // Narrow optimistically in one pass; redo as UTF-16 if any unit was
    // outside Latin-1 (the rare case).
    char16_t any = 0;
    for (std::size_t i = 0; i < n; ++i) {
      any |= src[i];
      dst[i] = char(src[i]);
    }
    if (any > 0xFF) {
      const std::size_t aligned = start + (start & 1u);
      vBytes.resize(aligned + 2 * n);
      std::memcpy(vBytes.data() + aligned, src, 2 * n);
      flags |= kWide;
      ++nWide;
    } else {
      flags &= std::uint8_t(~kWide);
    }
    vEnds.push_back(std::uint32_t(vBytes.size()));
    vFlags.push_back(flags);
  }

  // Copies line `line` of `from` to the end of this segment, mark included.
  void CopyFrom(const Segment& from, int line) {
    const std::uint32_t begin = from.Begin(line);
    const std::uint32_t end = from.vEnds[std::size_t(line)];
    const std::uint8_t flags = from.vFlags[std::size_t(line)];
    std::size_t start = vBytes.size();
    if (flags & kWide) start += start & 1u;
    vBytes.resize(start + (end - begin));
    std::memcpy(vBytes.data() + start, from.vBytes.data() + begin, end - begin);
    vEnds.push_back(std::uint32_t(vBytes.size()));
    vFlags.push_back(flags);
    if (flags & kWide) ++nWide;
  }

  // Inserts `line` before line `at` by moving the bytes behind it; false
  // (nothing changed) when that move would misalign a UTF-16 line.
  bool InsertInPlace(int at, QStringView line) {
    Segment one;
    one.Put(line, 0);
    const bool wide = one.vFlags[0] & kWide;
    const std::uint32_t offset = at == 0 ? 0 : vEnds[std::size_t(at) - 1];
    std::size_t pad = wide ? (offset & 1u) : 0;
    const char* data = one.vBytes.data() + one.Begin(0);
    const std::size_t length = one.vEnds[0] - one.Begin(0);
    const std::size_t shift = pad + length;
    if (shift & 1u) {
      for (int i = at; i < Count(); ++i)
        if (vFlags[std::size_t(i)] & kWide) return false;
    }
    vBytes.insert(vBytes.begin() + offset, shift, '\0');
    std::memcpy(vBytes.data() + offset + pad, data, length);
    for (std::size_t i = std::size_t(at); i < vEnds.size(); ++i) vEnds[i] += std::uint32_t(shift);
    vEnds.insert(vEnds.begin() + at, std::uint32_t(offset + shift));
    vFlags.insert(vFlags.begin() + at, one.vFlags[0]);
    nWide += one.nWide;
    return true;
  }

  void Seal() {
    if (vBytes.capacity() - vBytes.size() > vBytes.size() / 32) vBytes.shrink_to_fit();
    vEnds.shrink_to_fit();
    vFlags.shrink_to_fit();
  }
};

CLineStore::CLineStore() = default;
CLineStore::~CLineStore() = default;

CLineStore::Location CLineStore::Locate(int index) const {
  // Without inserts every segment but the last is full, and the segment
  // follows from the index alone; the bounds check proves it.
  const std::size_t guess = std::size_t(index / kSegmentLines);
  if (guess < m_vFirstLine.size() && m_vFirstLine[guess] <= index &&
      (guess + 1 == m_vFirstLine.size() || index < m_vFirstLine[guess + 1]))
    return {int(guess), index - m_vFirstLine[guess]};
  const auto it = std::upper_bound(m_vFirstLine.begin(), m_vFirstLine.end(), index);
  const int segment = int(it - m_vFirstLine.begin()) - 1;
  return {segment, index - m_vFirstLine[std::size_t(segment)]};
}

CLineStore::Segment& CLineStore::OpenSegmentFor(std::size_t bytesNeeded) {
  if (!m_vSegments.empty()) {
    Segment& last = m_vSegments.back();
    if (last.Count() < kSegmentLines &&
        (last.Count() == 0 || last.vBytes.size() + bytesNeeded <= kMaxSegmentBytes))
      return last;
    last.Seal();
  }
  // Size the new segment's buffer like the one before it, so that a steady
  // stream of lines rarely reallocates and the open segment wastes little.
  std::size_t reserveBytes = std::size_t(kSegmentLines) * 64;
  if (!m_vSegments.empty()) {
    const std::size_t previous = m_vSegments.back().vBytes.size();
    reserveBytes = std::min(previous + previous / 16, kMaxSegmentBytes);
  }
  m_vFirstLine.push_back(m_nCount);
  Segment& segment = m_vSegments.emplace_back();
  segment.vBytes.reserve(std::max(reserveBytes, bytesNeeded + 1));
  segment.vEnds.reserve(kSegmentLines);
  segment.vFlags.reserve(kSegmentLines);
  return segment;
}

int CLineStore::Append(QStringView line) {
  line.truncate(std::min<qsizetype>(line.size(), kMaxLineLength));
  // A wide line needs up to one byte of padding for alignment.
  Segment& segment = OpenSegmentFor(std::size_t(line.size()) * 2 + 1);
  segment.Put(line, 0);
  return m_nCount++;
}

void CLineStore::Insert(int index, QStringView line) {
  if (index >= m_nCount) {
    Append(line);
    return;
  }
  line.truncate(std::min<qsizetype>(line.size(), kMaxLineLength));
  const Location at = Locate(std::max(index, 0));
  Segment& old = m_vSegments[std::size_t(at.nSegment)];
  const bool wasOpen = std::size_t(at.nSegment) + 1 == m_vSegments.size();
  if (!old.InsertInPlace(at.nLine, line)) {
    // Moving the bytes after the new line by an odd count would misalign
    // the UTF-16 lines among them: rebuild the segment line by line.
    Segment rebuilt;
    rebuilt.vBytes.reserve(old.vBytes.size() + std::size_t(line.size()) * 2 + 2);
    rebuilt.vEnds.reserve(std::size_t(old.Count()) + 1);
    rebuilt.vFlags.reserve(std::size_t(old.Count()) + 1);
    for (int i = 0; i < at.nLine; ++i) rebuilt.CopyFrom(old, i);
    rebuilt.Put(line, 0);
    for (int i = at.nLine; i < old.Count(); ++i) rebuilt.CopyFrom(old, i);
    old = std::move(rebuilt);
    if (!wasOpen) old.Seal();
  }
  ++m_nCount;
  for (std::size_t s = std::size_t(at.nSegment) + 1; s < m_vFirstLine.size(); ++s) ++m_vFirstLine[s];
  if (old.Count() > 2 * kSegmentLines || (old.vBytes.size() > kMaxSegmentBytes && old.Count() > 1))
    SplitSegment(at.nSegment);
}

void CLineStore::SplitSegment(int segment) {
  Segment& whole = m_vSegments[std::size_t(segment)];
  const int half = whole.Count() / 2;
  Segment front;
  Segment back;
  for (int i = 0; i < half; ++i) front.CopyFrom(whole, i);
  for (int i = half; i < whole.Count(); ++i) back.CopyFrom(whole, i);
  front.Seal();
  const int firstOfBack = m_vFirstLine[std::size_t(segment)] + half;
  whole = std::move(front);
  m_vSegments.insert(m_vSegments.begin() + segment + 1, std::move(back));
  m_vFirstLine.insert(m_vFirstLine.begin() + segment + 1, firstOfBack);
}

void CLineStore::Clear() {
  m_vSegments.clear();
  m_vSegments.shrink_to_fit();
  m_vFirstLine.clear();
  m_vFirstLine.shrink_to_fit();
  m_nCount = 0;
  m_nSelected = 0;
}

QString CLineStore::Text(int index) const {
  const Location at = Locate(index);
  const Segment& s = m_vSegments[std::size_t(at.nSegment)];
  const std::uint32_t begin = s.Begin(at.nLine);
  const std::uint32_t end = s.vEnds[std::size_t(at.nLine)];
  const char* data = s.vBytes.data() + begin;
  if (s.vFlags[std::size_t(at.nLine)] & kWide)
    return QString(reinterpret_cast<const QChar*>(data), qsizetype((end - begin) / 2));
  return QString::fromLatin1(data, qsizetype(end - begin));
}

int CLineStore::Length(int index) const {
  const Location at = Locate(index);
  const Segment& s = m_vSegments[std::size_t(at.nSegment)];
  const std::uint32_t bytes = s.vEnds[std::size_t(at.nLine)] - s.Begin(at.nLine);
  return int((s.vFlags[std::size_t(at.nLine)] & kWide) ? bytes / 2 : bytes);
}

bool CLineStore::IsLatin1(int index) const {
  const Location at = Locate(index);
  return !(m_vSegments[std::size_t(at.nSegment)].vFlags[std::size_t(at.nLine)] & kWide);
}

bool CLineStore::Contains(int index, char16_t ch) const {
  const Location at = Locate(index);
  const Segment& s = m_vSegments[std::size_t(at.nSegment)];
  const std::uint32_t begin = s.Begin(at.nLine);
  const std::uint32_t end = s.vEnds[std::size_t(at.nLine)];
  const char* data = s.vBytes.data() + begin;
  if (s.vFlags[std::size_t(at.nLine)] & kWide) {
    const auto* units = reinterpret_cast<const char16_t*>(data);
    const auto* last = units + (end - begin) / 2;
    return std::find(units, last, ch) != last;
  }
  return ch <= 0xFF && std::memchr(data, ch, end - begin) != nullptr;
}

int CLineStore::Find(int from, int step, QStringView needle, Qt::CaseSensitivity cs) const {
  if (from < 0 || from >= m_nCount) return -1;
  if (needle.isEmpty()) return from;
  step = step < 0 ? -1 : 1;

  // What Latin-1 bytes are compared with: every byte is reduced to a class
  // (itself when case matters, else the smallest byte with the same fold),
  // and the needle is the classes of its characters. When no Latin-1 text
  // can hold the needle, only UTF-16 lines are searched.
  const bool sensitive = cs == Qt::CaseSensitive;
  const std::array<char16_t, 256>& fold = Latin1Fold();
  std::array<unsigned char, 256> cls{};
  for (int b = 0; b < 256; ++b) {
    cls[std::size_t(b)] = (unsigned char)b;
    if (!sensitive)
      for (int a = 0; a < b; ++a)
        if (fold[std::size_t(a)] == fold[std::size_t(b)]) {
          cls[std::size_t(b)] = (unsigned char)a;
          break;
        }
  }
  std::string needleClasses;
  bool latinPossible = true;
  const std::u16string folded = sensitive ? std::u16string() : FoldNeedle(needle);
  const std::size_t units = sensitive ? std::size_t(needle.size()) : folded.size();
  for (std::size_t k = 0; k < units && latinPossible; ++k) {
    const char16_t unit = sensitive ? needle[qsizetype(k)].unicode() : folded[k];
    int byte = -1;
    if (sensitive) {
      if (unit <= 0xFF) byte = unit;
    } else {
      for (int b = 0; b < 256 && byte < 0; ++b)
        if (fold[std::size_t(b)] == unit) byte = b;
    }
    if (byte < 0)
      latinPossible = false;
    else
      needleClasses.push_back(char(cls[std::size_t(byte)]));
  }
  const std::size_t m = needleClasses.size();
  const auto* nc = reinterpret_cast<const unsigned char*>(needleClasses.data());

  // Horspool's skip table keyed by the window's last two byte classes (one
  // byte would make every needle holding a common letter crawl): how far the
  // window may move.
  std::vector<std::uint16_t> skip;
  if (m >= 2) {
    const auto limit = std::uint16_t(std::min<std::size_t>(m - 1, 0xFFFF));
    skip.assign(65536, limit);
    for (std::size_t j = 1; j + 1 < m; ++j)
      skip[(std::size_t(nc[j - 1]) << 8) | nc[j]] = std::uint16_t(std::min<std::size_t>(m - 1 - j, 0xFFFF));
  }
  // The bytes of the needle's only character, for memchr when m is 1.
  std::vector<unsigned char> singleBytes;
  if (m == 1)
    for (int b = 0; b < 256; ++b)
      if (cls[std::size_t(b)] == nc[0]) singleBytes.push_back((unsigned char)b);

  // The first occurrence in bytes [pos, end), or `end`.
  const auto nextHit = [&](const char* data, std::size_t pos, std::size_t end) -> std::size_t {
    if (!latinPossible || end - pos < m) return end;
    if (m == 1) {
      std::size_t best = end;
      for (unsigned char b : singleBytes)
        if (const void* hit = std::memchr(data + pos, b, best - pos))
          best = std::size_t(static_cast<const char*>(hit) - data);
      return best;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t i = pos; i + m <= end;) {
      const unsigned char a = cls[bytes[i + m - 2]];
      const unsigned char b = cls[bytes[i + m - 1]];
      if (a == nc[m - 2] && b == nc[m - 1]) {
        std::size_t j = 0;
        while (j + 2 < m && cls[bytes[i + j]] == nc[j]) ++j;
        if (j + 2 >= m) return i;
      }
      i += skip[(std::size_t(a) << 8) | b];
    }
    return end;
  };

  // Lines lo..hi of a segment holding only Latin-1 lines: its bytes are
  // searched as one run, and a hit counts where it lies inside one line.
  // Returns the first (step > 0) or last (step < 0) matching line, or -1.
  const auto searchRun = [&](const Segment& s, int lo, int hi) -> int {
    const char* data = s.vBytes.data();
    std::size_t pos = s.Begin(lo);
    const std::size_t end = s.vEnds[std::size_t(hi)];
    int lastMatch = -1;
    while (true) {
      pos = nextHit(data, pos, end);
      if (pos >= end) return lastMatch;
      const auto endsBegin = s.vEnds.begin();
      const int line = int(std::upper_bound(endsBegin + lo, endsBegin + hi + 1, std::uint32_t(pos)) - endsBegin);
      const std::uint32_t lineEnd = s.vEnds[std::size_t(line)];
      if (pos + m <= lineEnd) {
        if (step > 0) return line;
        lastMatch = line;
      }
      // A later hit in the same line would cross its end as well.
      pos = lineEnd;
    }
  };

  const auto lineMatches = [&](const Segment& s, int line) -> bool {
    const std::uint32_t begin = s.Begin(line);
    const std::uint32_t end = s.vEnds[std::size_t(line)];
    const char* data = s.vBytes.data() + begin;
    if (s.vFlags[std::size_t(line)] & kWide)
      return QStringView(reinterpret_cast<const char16_t*>(data), qsizetype((end - begin) / 2)).contains(needle, cs);
    return nextHit(data, 0, end - begin) < end - begin;
  };

  Location at = Locate(from);
  while (true) {
    const Segment& s = m_vSegments[std::size_t(at.nSegment)];
    const int first = m_vFirstLine[std::size_t(at.nSegment)];
    if (s.nWide == 0) {
      const int line = step > 0 ? searchRun(s, at.nLine, s.Count() - 1) : searchRun(s, 0, at.nLine);
      if (line >= 0) return first + line;
    } else {
      for (int line = at.nLine; line >= 0 && line < s.Count(); line += step)
        if (lineMatches(s, line)) return first + line;
    }
    at.nSegment += step;
    if (at.nSegment < 0 || std::size_t(at.nSegment) >= m_vSegments.size()) return -1;
    at.nLine = step > 0 ? 0 : m_vSegments[std::size_t(at.nSegment)].Count() - 1;
  }
}

bool CLineStore::IsSelected(int index) const {
  const Location at = Locate(index);
  return m_vSegments[std::size_t(at.nSegment)].vFlags[std::size_t(at.nLine)] & kSelected;
}

bool CLineStore::SetSelected(int index, bool select) {
  const Location at = Locate(index);
  std::uint8_t& flags = m_vSegments[std::size_t(at.nSegment)].vFlags[std::size_t(at.nLine)];
  if (bool(flags & kSelected) == select) return false;
  flags = select ? std::uint8_t(flags | kSelected) : std::uint8_t(flags & ~kSelected);
  m_nSelected += select ? 1 : -1;
  return true;
}

void CLineStore::SetAllSelected(bool select) {
  for (Segment& s : m_vSegments)
    for (std::uint8_t& flags : s.vFlags)
      flags = select ? std::uint8_t(flags | kSelected) : std::uint8_t(flags & ~kSelected);
  m_nSelected = select ? m_nCount : 0;
}

std::vector<int> CLineStore::SelectedItems(int maxItems) const {
  std::vector<int> items;
  if (maxItems <= 0 || m_nSelected == 0) return items;
  items.reserve(std::size_t(std::min(maxItems, m_nSelected)));
  for (std::size_t seg = 0; seg < m_vSegments.size(); ++seg) {
    const Segment& s = m_vSegments[seg];
    for (int line = 0; line < s.Count(); ++line) {
      if (!(s.vFlags[std::size_t(line)] & kSelected)) continue;
      items.push_back(m_vFirstLine[seg] + line);
      if (int(items.size()) == maxItems || int(items.size()) == m_nSelected) return items;
    }
  }
  return items;
}

std::size_t CLineStore::MemoryUsed() const {
  std::size_t bytes = m_vSegments.capacity() * sizeof(Segment) + m_vFirstLine.capacity() * sizeof(int);
  for (const Segment& s : m_vSegments)
    bytes += s.vBytes.capacity() + s.vEnds.capacity() * sizeof(std::uint32_t) + s.vFlags.capacity();
  return bytes;
}

}  // namespace zef
