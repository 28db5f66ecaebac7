#include "platform/listbox/linestore.h"

#include "platform/listbox/linesearch.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zef {

namespace {

enum LineFlag : std::uint8_t {
  kWide = 1,      // stored as UTF-16 at an even offset
  kSelected = 2,
  kTimeZero = 4,  // time 0 whatever the segment's base, so such a line joins any segment
};

// A segment is sealed when it reaches this many bytes even if it holds fewer
// than kSegmentLines lines. With the line-length cap, a segment never comes
// near 4 GiB, so 32-bit offsets suffice even after an insert.
constexpr std::size_t kMaxSegmentBytes = std::size_t(1) << 30;

// A segment's time base lies this far before its first timed line, so that
// times on either side of it fit a 32-bit offset.
constexpr std::int64_t kTimeCentre = std::int64_t(1) << 31;

// A span in 32 bits: below 2^31 the microseconds themselves; from there the
// top bit set over whole milliseconds, rounded to the nearest and
// saturating at kMaxSpanMillis; all bits set for none. Decoding and
// encoding again gives the same code, so lines copy their code unchanged.
constexpr std::uint32_t kNoSpan = 0xFFFFFFFFu;
constexpr std::uint32_t kSpanInMillis = 0x80000000u;
constexpr std::int64_t kMaxSpanMillis = 0x7FFFFFFE;
static_assert(CLineStore::kExactSpanLimit == kSpanInMillis);
static_assert(CLineStore::kMaxSpan == kMaxSpanMillis * 1000);

std::uint32_t EncodeSpan(std::int64_t span) {
  if (span < 0) return kNoSpan;
  if (span < CLineStore::kExactSpanLimit) return std::uint32_t(span);
  const std::int64_t millis = span / 1000 + (span % 1000 >= 500 ? 1 : 0);
  return kSpanInMillis | std::uint32_t(std::min(millis, kMaxSpanMillis));
}

std::int64_t DecodeSpan(std::uint32_t code) {
  if (code == kNoSpan) return -1;
  if (code & kSpanInMillis) return std::int64_t(code & ~kSpanInMillis) * 1000;
  return code;
}

// A 32-bit value per line of a segment, held in as few bytes as its values
// need: nothing while every line has kDefault, one byte per line while every
// value lies within 255 above kDefault (modulo 2^32), four bytes per line
// from the first that does not. Depths and senders are small numbers in
// practice, so they cost a byte per line.
template <std::uint32_t kDefault>
class CCompactColumn {
 public:
  bool IsEmpty() const { return !m_bWide && m_vNarrow.empty(); }
  std::uint32_t Get(int line) const {
    if (m_bWide) return m_vWide[std::size_t(line)];
    return m_vNarrow.empty() ? kDefault : kDefault + m_vNarrow[std::size_t(line)];
  }
  // Records the value of the line just inserted at `at`; the segment now
  // holds `count` lines. `reserve`: the lines the segment expects to hold,
  // so that the open segment does not grow the column step by step.
  void Insert(int at, std::uint32_t value, int count, std::size_t reserve) {
    // The steady cases inline: appending to a column in use at its width,
    // or leaving an unused one empty.
    const std::uint32_t above = value - kDefault;
    if (m_bWide) {
      if (std::size_t(at) == m_vWide.size()) {
        m_vWide.push_back(value);
        return;
      }
    } else if (m_vNarrow.empty()) {
      if (above == 0) return;
    } else if (above <= 0xFF && std::size_t(at) == m_vNarrow.size()) {
      m_vNarrow.push_back(std::uint8_t(above));
      return;
    }
    InsertAnywhere(at, value, count, reserve);
  }
  void Shrink() {
    m_vNarrow.shrink_to_fit();
    m_vWide.shrink_to_fit();
  }
  std::size_t Bytes() const { return m_vNarrow.capacity() + m_vWide.capacity() * sizeof(std::uint32_t); }

 private:
  [[gnu::noinline]] void InsertAnywhere(int at, std::uint32_t value, int count, std::size_t reserve) {
    const std::size_t before = std::size_t(count) - 1;  // lines that had a value
    reserve = std::max(reserve, std::size_t(count));
    const std::uint32_t above = value - kDefault;
    if (!m_bWide && above > 0xFF) {
      std::vector<std::uint32_t> wide;
      wide.reserve(reserve);
      for (std::size_t line = 0; line < before; ++line) wide.push_back(Get(int(line)));
      m_vWide = std::move(wide);
      m_vNarrow = {};
      m_bWide = true;
    }
    if (m_bWide) {
      m_vWide.insert(m_vWide.begin() + at, value);
      return;
    }
    if (m_vNarrow.empty()) {
      m_vNarrow.reserve(reserve);
      m_vNarrow.resize(before, 0);
    }
    m_vNarrow.insert(m_vNarrow.begin() + at, std::uint8_t(above));
  }

  std::vector<std::uint8_t> m_vNarrow;   // value - kDefault
  std::vector<std::uint32_t> m_vWide;  // the values, once m_bWide
  bool m_bWide = false;
};

}  // namespace

struct CLineStore::Segment {
  std::vector<char> vBytes;
  std::vector<std::uint32_t> vEnds;  // end offset of each line in vBytes
  std::vector<std::uint8_t> vFlags;  // LineFlag bits of each line
  CCompactColumn<0> depths;
  // Times are nTimeBase plus the offset, once bTimed: the base is chosen by
  // the first line with a time other than 0 and never changes after, so
  // lines are copied between segments of the same base unchanged.
  CCompactColumn<0> timeOffsets;
  CCompactColumn<0> senders;
  CCompactColumn<kNoSpan> spans;
  std::int64_t nTimeBase = 0;
  bool bTimed = false;
  int nWide = 0;    // lines stored as UTF-16
  int nIndent = 0;  // the indent string of its indented lines

  int Count() const { return int(vEnds.size()); }
  bool HasDepths() const { return !depths.IsEmpty(); }
  std::uint32_t Depth(int line) const { return depths.Get(line); }

  // An empty segment to which lines of this one can be copied.
  Segment BlankLike() const {
    Segment s;
    s.nIndent = nIndent;
    s.nTimeBase = nTimeBase;
    s.bTimed = bTimed;
    return s;
  }

  bool FitsTime(std::int64_t time) const {
    return time == 0 || !bTimed ||
           (time >= nTimeBase && std::uint64_t(time) - std::uint64_t(nTimeBase) <= UINT32_MAX);
  }

  SLineStamp Stamp(int line) const {
    SLineStamp stamp;
    if (!(vFlags[std::size_t(line)] & kTimeZero)) stamp.nTime = nTimeBase + std::int64_t(timeOffsets.Get(line));
    stamp.nSender = senders.Get(line);
    stamp.nSpan = DecodeSpan(spans.Get(line));
    return stamp;
  }

  std::uint32_t Begin(int line) const {
    std::uint32_t begin = line == 0 ? 0 : vEnds[std::size_t(line) - 1];
    if (vFlags[std::size_t(line)] & kWide) begin += begin & 1u;
    return begin;
  }

  CStoredText Own(int line) const {
    const std::uint32_t begin = Begin(line);
    const std::uint32_t bytes = vEnds[std::size_t(line)] - begin;
    const bool wide = vFlags[std::size_t(line)] & kWide;
    return {vBytes.data() + begin, wide ? bytes / 2 : bytes, wide};
  }

  // Records the depth and stamp of the line just added at `at`, whose end
  // and flags are in place; the stamp's time fits (FitsTime).
  void RecordLine(int at, std::uint32_t depth, const SLineStamp& stamp) {
    const int count = Count();
    const std::size_t reserve = vEnds.capacity();
    depths.Insert(at, depth, count, reserve);
    std::uint32_t offset = 0;
    if (stamp.nTime == 0) {
      vFlags[std::size_t(at)] |= kTimeZero;
    } else {
      if (!bTimed) {
        bTimed = true;
        nTimeBase = stamp.nTime >= INT64_MIN + kTimeCentre ? stamp.nTime - kTimeCentre : INT64_MIN;
      }
      offset = std::uint32_t(std::uint64_t(stamp.nTime) - std::uint64_t(nTimeBase));
    }
    timeOffsets.Insert(at, offset, count, reserve);
    senders.Insert(at, stamp.nSender, count, reserve);
    spans.Insert(at, EncodeSpan(stamp.nSpan), count, reserve);
  }

  // Copies the depth and stamp of line `line` of `from`, a segment of the
  // same time base, to the line just added at `at`.
  void CopyExtras(int at, const Segment& from, int line) {
    const int count = Count();
    const std::size_t reserve = vEnds.capacity();
    depths.Insert(at, from.depths.Get(line), count, reserve);
    timeOffsets.Insert(at, from.timeOffsets.Get(line), count, reserve);
    senders.Insert(at, from.senders.Get(line), count, reserve);
    spans.Insert(at, from.spans.Get(line), count, reserve);
  }

  // Stores `line` (already cut to kMaxLineLength) at the end; the stamp's
  // time fits (FitsTime).
  void Put(QStringView line, std::uint32_t depth, const SLineStamp& stamp) {
    std::uint8_t flags = 0;
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
    }
    vEnds.push_back(std::uint32_t(vBytes.size()));
    vFlags.push_back(flags);
    RecordLine(Count() - 1, depth, stamp);
  }

  // Copies line `line` of `from` to the end of this segment, mark, depth and
  // stamp included; `from` has the same indent string and time base.
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
    CopyExtras(Count() - 1, from, line);
    if (flags & kWide) ++nWide;
  }

  // Inserts `line` before line `at` by moving the bytes behind it; false
  // (nothing changed) when that move would misalign a UTF-16 line.
  // The stamp's time fits (FitsTime).
  bool InsertInPlace(int at, QStringView line, std::uint32_t depth, const SLineStamp& stamp) {
    Segment one;
    one.Put(line, 0, {});
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
    vFlags.insert(vFlags.begin() + at, std::uint8_t(one.vFlags[0] & kWide));
    RecordLine(at, depth, stamp);
    nWide += one.nWide;
    return true;
  }

  void Seal() {
    if (vBytes.capacity() - vBytes.size() > vBytes.size() / 32) vBytes.shrink_to_fit();
    vEnds.shrink_to_fit();
    vFlags.shrink_to_fit();
    depths.Shrink();
    timeOffsets.Shrink();
    senders.Shrink();
    spans.Shrink();
  }

  // The first (step > 0) or last (step < 0) of lines lo..hi whose text as
  // shown holds the needle, or -1. `indent` is null when no indent of this
  // segment can hold any part of it.
  int Find(int lo, int hi, int step, const CLineSearch& search, const CIndentMatch* indent) const {
    if (nWide > 0) {
      for (int line = step > 0 ? lo : hi; line >= lo && line <= hi; line += step) {
        const CStoredText own = Own(line);
        if (search.In(own) || (indent && indent->Matches(Depth(line), own))) return line;
      }
      return -1;
    }
    // Only Latin-1 lines: the own texts are searched as one run of bytes,
    // and only the lines before that hit (in the walk's direction) need
    // their indents judged.
    const int hit = FindInRun(lo, hi, step, search);
    if (!indent) return hit;
    if (step > 0) {
      for (int line = lo, end = hit < 0 ? hi : hit - 1; line <= end; ++line)
        if (indent->Matches(Depth(line), Own(line))) return line;
    } else {
      for (int line = hi, end = hit < 0 ? lo : hit + 1; line >= end; --line)
        if (indent->Matches(Depth(line), Own(line))) return line;
    }
    return hit;
  }

  // Find over the own texts of lines lo..hi, all Latin-1: a hit counts
  // where it lies inside one line.
  int FindInRun(int lo, int hi, int step, const CLineSearch& search) const {
    const char* data = vBytes.data();
    std::size_t pos = Begin(lo);
    const std::size_t end = vEnds[std::size_t(hi)];
    const std::size_t length = search.Latin1Length();
    int lastMatch = -1;
    while (true) {
      pos = search.NextInLatin1(data, pos, end);
      if (pos >= end) return lastMatch;
      const auto endsBegin = vEnds.begin();
      const int line = int(std::upper_bound(endsBegin + lo, endsBegin + hi + 1, std::uint32_t(pos)) - endsBegin);
      const std::uint32_t lineEnd = vEnds[std::size_t(line)];
      if (pos + length <= lineEnd) {
        if (step > 0) return line;
        lastMatch = line;
      }
      // A later hit in the same line would cross its end as well.
      pos = lineEnd;
    }
  }
};

CLineStore::CLineStore() : m_vIndents{QStringLiteral("  ")} {}
CLineStore::~CLineStore() = default;

void CLineStore::SetIndent(QStringView indent) {
  const auto known = std::find(m_vIndents.begin(), m_vIndents.end(), indent);
  if (known != m_vIndents.end()) {
    m_nIndent = int(known - m_vIndents.begin());
    return;
  }
  m_vIndents.push_back(indent.toString());
  m_nIndent = int(m_vIndents.size()) - 1;
}

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

CLineStore::Segment& CLineStore::OpenSegmentFor(std::size_t bytesNeeded, std::uint32_t depth, std::int64_t time) {
  if (!m_vSegments.empty()) {
    Segment& last = m_vSegments.back();
    const bool sameIndent = depth == 0 || !last.HasDepths() || last.nIndent == m_nIndent;
    if (last.Count() < kSegmentLines && sameIndent && last.FitsTime(time) &&
        (last.Count() == 0 || last.vBytes.size() + bytesNeeded <= kMaxSegmentBytes)) {
      if (depth > 0) last.nIndent = m_nIndent;
      return last;
    }
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
  segment.nIndent = m_nIndent;
  segment.vBytes.reserve(std::max(reserveBytes, bytesNeeded + 1));
  segment.vEnds.reserve(kSegmentLines);
  segment.vFlags.reserve(kSegmentLines);
  return segment;
}

QStringView CLineStore::Fit(QStringView line, int& depth) const {
  if (depth <= 0) {
    depth = 0;
    return line.left(std::min<qsizetype>(line.size(), kMaxLineLength));
  }
  const qsizetype period = m_vIndents[std::size_t(m_nIndent)].size();
  if (period == 0) depth = 0;
  const qint64 indentUnits = std::min<qint64>(qint64(depth) * period, kMaxLineLength);
  return line.left(std::min<qsizetype>(line.size(), kMaxLineLength - indentUnits));
}

int CLineStore::Append(QStringView line, int depth, const SLineStamp& stamp) {
  line = Fit(line, depth);
  // A wide line needs up to one byte of padding for alignment.
  Segment& segment = OpenSegmentFor(std::size_t(line.size()) * 2 + 1, std::uint32_t(depth), stamp.nTime);
  segment.Put(line, std::uint32_t(depth), stamp);
  return m_nCount++;
}

void CLineStore::Insert(int index, QStringView line, int depth, const SLineStamp& stamp) {
  if (index >= m_nCount) {
    Append(line, depth, stamp);
    return;
  }
  line = Fit(line, depth);
  index = std::max(index, 0);
  Location at = Locate(index);
  const Segment& target = m_vSegments[std::size_t(at.nSegment)];
  if ((depth > 0 && target.HasDepths() && target.nIndent != m_nIndent) || !target.FitsTime(stamp.nTime)) {
    // Indented with another string than its neighbours, or taken in too far
    // from their times to be kept exactly beside them: a segment of its
    // own, between them.
    if (at.nLine > 0) {
      SplitSegment(at.nSegment, at.nLine);
      ++at.nSegment;
    }
    Segment own;
    own.nIndent = m_nIndent;
    own.Put(line, std::uint32_t(depth), stamp);
    own.Seal();
    m_vSegments.insert(m_vSegments.begin() + at.nSegment, std::move(own));
    m_vFirstLine.insert(m_vFirstLine.begin() + at.nSegment, index);
    ++m_nCount;
    for (std::size_t s = std::size_t(at.nSegment) + 1; s < m_vFirstLine.size(); ++s) ++m_vFirstLine[s];
    return;
  }
  Segment& old = m_vSegments[std::size_t(at.nSegment)];
  if (depth > 0 && !old.HasDepths()) old.nIndent = m_nIndent;
  const bool wasOpen = std::size_t(at.nSegment) + 1 == m_vSegments.size();
  if (!old.InsertInPlace(at.nLine, line, std::uint32_t(depth), stamp)) {
    // Moving the bytes after the new line by an odd count would misalign
    // the UTF-16 lines among them: rebuild the segment line by line.
    Segment rebuilt = old.BlankLike();
    rebuilt.vBytes.reserve(old.vBytes.size() + std::size_t(line.size()) * 2 + 2);
    rebuilt.vEnds.reserve(std::size_t(old.Count()) + 1);
    rebuilt.vFlags.reserve(std::size_t(old.Count()) + 1);
    for (int i = 0; i < at.nLine; ++i) rebuilt.CopyFrom(old, i);
    rebuilt.Put(line, std::uint32_t(depth), stamp);
    for (int i = at.nLine; i < old.Count(); ++i) rebuilt.CopyFrom(old, i);
    old = std::move(rebuilt);
    if (!wasOpen) old.Seal();
  }
  ++m_nCount;
  for (std::size_t s = std::size_t(at.nSegment) + 1; s < m_vFirstLine.size(); ++s) ++m_vFirstLine[s];
  if (old.Count() > 2 * kSegmentLines || (old.vBytes.size() > kMaxSegmentBytes && old.Count() > 1))
    SplitSegment(at.nSegment, old.Count() / 2);
}

void CLineStore::SplitSegment(int segment, int line) {
  Segment& whole = m_vSegments[std::size_t(segment)];
  Segment front = whole.BlankLike();
  Segment back = whole.BlankLike();
  for (int i = 0; i < line; ++i) front.CopyFrom(whole, i);
  for (int i = line; i < whole.Count(); ++i) back.CopyFrom(whole, i);
  front.Seal();
  const bool wasOpen = std::size_t(segment) + 1 == m_vSegments.size();
  if (!wasOpen) back.Seal();
  const int firstOfBack = m_vFirstLine[std::size_t(segment)] + line;
  whole = std::move(front);
  m_vSegments.insert(m_vSegments.begin() + segment + 1, std::move(back));
  m_vFirstLine.insert(m_vFirstLine.begin() + segment + 1, firstOfBack);
}

void CLineStore::Clear() {
  m_vSegments.clear();
  m_vSegments.shrink_to_fit();
  m_vFirstLine.clear();
  m_vFirstLine.shrink_to_fit();
  // Only the current indent string is still needed.
  QString indent = std::move(m_vIndents[std::size_t(m_nIndent)]);
  m_vIndents.clear();
  m_vIndents.push_back(std::move(indent));
  m_vIndents.shrink_to_fit();
  m_nIndent = 0;
  m_nCount = 0;
  m_nSelected = 0;
}

QString CLineStore::OwnText(int index) const {
  const Location at = Locate(index);
  const CStoredText own = m_vSegments[std::size_t(at.nSegment)].Own(at.nLine);
  if (own.bWide) return QString(reinterpret_cast<const QChar*>(own.pData), qsizetype(own.nUnits));
  return QString::fromLatin1(own.pData, qsizetype(own.nUnits));
}

int CLineStore::Depth(int index) const {
  const Location at = Locate(index);
  return int(m_vSegments[std::size_t(at.nSegment)].Depth(at.nLine));
}

const QString& CLineStore::IndentOf(int index) const {
  const Location at = Locate(index);
  return m_vIndents[std::size_t(m_vSegments[std::size_t(at.nSegment)].nIndent)];
}

qsizetype CLineStore::IndentLength(const Segment& s, int line) const {
  return qsizetype(std::min<qint64>(qint64(s.Depth(line)) * m_vIndents[std::size_t(s.nIndent)].size(), kMaxLineLength));
}

QString CLineStore::Text(int index) const {
  const Location at = Locate(index);
  const Segment& s = m_vSegments[std::size_t(at.nSegment)];
  const qsizetype indentLength = IndentLength(s, at.nLine);
  if (indentLength == 0) return OwnText(index);
  // An indent that alone passes kMaxLineLength is cut there, as Fit() cut
  // the text after it to nothing.
  const QString& indent = m_vIndents[std::size_t(s.nIndent)];
  QString text;
  text.reserve(Length(index));
  while (text.size() + indent.size() <= indentLength) text += indent;
  text += QStringView(indent).left(indentLength - text.size());
  text += OwnText(index);
  return text;
}

int CLineStore::Length(int index) const {
  const Location at = Locate(index);
  const Segment& s = m_vSegments[std::size_t(at.nSegment)];
  // Fit() keeps the sum within kMaxLineLength.
  return int(IndentLength(s, at.nLine) + qsizetype(s.Own(at.nLine).nUnits));
}

SLineStamp CLineStore::Stamp(int index) const {
  const Location at = Locate(index);
  return m_vSegments[std::size_t(at.nSegment)].Stamp(at.nLine);
}

bool CLineStore::IsLatin1(int index) const {
  const Location at = Locate(index);
  return !m_vSegments[std::size_t(at.nSegment)].Own(at.nLine).bWide;
}

bool CLineStore::Contains(int index, char16_t ch) const {
  const Location at = Locate(index);
  const Segment& s = m_vSegments[std::size_t(at.nSegment)];
  if (s.Depth(at.nLine) > 0 && m_vIndents[std::size_t(s.nIndent)].contains(QChar(ch))) return true;
  const CStoredText own = s.Own(at.nLine);
  if (own.bWide) {
    const auto* units = reinterpret_cast<const char16_t*>(own.pData);
    return std::find(units, units + own.nUnits, ch) != units + own.nUnits;
  }
  return ch <= 0xFF && std::memchr(own.pData, ch, own.nUnits) != nullptr;
}

int CLineStore::Find(int from, int step, QStringView needle, Qt::CaseSensitivity cs) const {
  if (from < 0 || from >= m_nCount) return -1;
  if (needle.isEmpty()) return from;
  step = step < 0 ? -1 : 1;
  const CLineSearch search(needle, cs);
  // How the needle meets each indent string, worked out when a segment
  // with indented lines first needs it.
  std::vector<std::unique_ptr<CIndentMatch>> indents(m_vIndents.size());

  Location at = Locate(from);
  while (true) {
    const Segment& s = m_vSegments[std::size_t(at.nSegment)];
    const CIndentMatch* indent = nullptr;
    if (s.HasDepths()) {
      std::unique_ptr<CIndentMatch>& match = indents[std::size_t(s.nIndent)];
      if (!match) match = std::make_unique<CIndentMatch>(m_vIndents[std::size_t(s.nIndent)], search);
      if (match->Possible()) indent = match.get();
    }
    const int lo = step > 0 ? at.nLine : 0;
    const int hi = step > 0 ? s.Count() - 1 : at.nLine;
    const int line = s.Find(lo, hi, step, search, indent);
    if (line >= 0) return m_vFirstLine[std::size_t(at.nSegment)] + line;
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

void CLineStore::SetRangeSelected(int first, int last, bool select) {
  Location at = Locate(first);
  for (int left = last - first + 1; left > 0; ++at.nSegment, at.nLine = 0) {
    std::vector<std::uint8_t>& flags = m_vSegments[std::size_t(at.nSegment)].vFlags;
    const int end = std::min(int(flags.size()), at.nLine + left);
    for (int line = at.nLine; line < end; ++line) {
      std::uint8_t& f = flags[std::size_t(line)];
      if (bool(f & kSelected) == select) continue;
      f = select ? std::uint8_t(f | kSelected) : std::uint8_t(f & ~kSelected);
      m_nSelected += select ? 1 : -1;
    }
    left -= end - at.nLine;
  }
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
  std::size_t bytes = m_vSegments.capacity() * sizeof(Segment) + m_vFirstLine.capacity() * sizeof(int) +
                      m_vIndents.capacity() * sizeof(QString);
  for (const QString& indent : m_vIndents) bytes += std::size_t(indent.capacity()) * sizeof(QChar);
  for (const Segment& s : m_vSegments)
    bytes += s.vBytes.capacity() + s.vEnds.capacity() * sizeof(std::uint32_t) + s.vFlags.capacity() +
             s.depths.Bytes() + s.timeOffsets.Bytes() + s.senders.Bytes() + s.spans.Bytes();
  return bytes;
}

}  // namespace zef
