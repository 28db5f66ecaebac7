#include "platform/listbox/linestore.h"

#include "platform/listbox/segmentcache.h"

#include <QThreadPool>

#include <malloc.h>

#include <future>

namespace zef {

struct CLineStore::Packing {
  PackJob job;
  int nSegment;
  std::future<void> done;
};

namespace {

// Drops at least this large give their memory back to the system at once;
// smaller ones leave it to the lines that come next.
constexpr std::size_t kTrimAfterDrop = std::size_t(8) << 20;

// One thread packs for every store: a store hands it at most one segment at
// a time, and appends go on meanwhile.
QThreadPool& PackingThread() {
  static QThreadPool* const pool = [] {
    auto* p = new QThreadPool;
    p->setMaxThreadCount(1);
    return p;
  }();
  return *pool;
}

}  // namespace

CLineStore::CLineStore() : m_vIndents{QStringLiteral("  ")}, m_pCache(std::make_unique<SegmentCache>()) {}

CLineStore::~CLineStore() { FinishPacking(); }

void CLineStore::FinishPacking() {
  if (!m_pPacking) return;
  m_pPacking->done.wait();
  m_vSegments[std::size_t(m_pPacking->nSegment)].FinishPack(std::move(m_pPacking->job));
  m_pPacking.reset();
}

void CLineStore::SetIndent(QStringView indent) {
  const auto known = std::find(m_vIndents.begin(), m_vIndents.end(), indent);
  if (known != m_vIndents.end()) {
    m_nIndent = int(known - m_vIndents.begin());
    return;
  }
  m_vIndents.push_back(indent.toString());
  m_nIndent = int(m_vIndents.size()) - 1;
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
    // The segment sealed before this one is packed by now, nearly always;
    // this one is packed while the next fills.
    FinishPacking();
    last.vFlags.shrink_to_fit();
    m_pPacking = std::make_unique<Packing>(Packing{last.StartPack(), int(m_vSegments.size()) - 1, {}});
    auto finished = std::make_shared<std::promise<void>>();
    m_pPacking->done = finished->get_future();
    PackingThread().start([job = &m_pPacking->job, finished] {
      job->Compress();
      finished->set_value();
    });
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
  FinishPacking();
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
  if (old.IsPacked()) {
    m_pCache->Forget(old.nPackId);
    old = old.Unpacked();
  }
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
  }
  ++m_nCount;
  for (std::size_t s = std::size_t(at.nSegment) + 1; s < m_vFirstLine.size(); ++s) ++m_vFirstLine[s];
  if (old.Count() > 2 * kSegmentLines || (old.vBytes.size() > kMaxSegmentBytes && old.Count() > 1))
    SplitSegment(at.nSegment, old.Count() / 2);
  else if (!wasOpen) old.Seal();
}

void CLineStore::SplitSegment(int segment, int line) {
  Segment& whole = m_vSegments[std::size_t(segment)];
  if (whole.IsPacked()) {
    m_pCache->Forget(whole.nPackId);
    whole = whole.Unpacked();
  }
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
  FinishPacking();
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
  m_pCache->Clear();
  malloc_trim(0);
}

int CLineStore::SegmentCount() const { return int(m_vSegments.size()); }

int CLineStore::DropOldest(std::size_t bytes) {
  // The segment being packed counts at its plain size until it is put in
  // place, and is waited for only when it is to go: called each time a
  // segment is sealed, this does not wait for the codec.
  const std::size_t before = MemoryUsed();
  std::size_t used = before;
  std::size_t drop = 0;
  while (used > bytes && drop + 1 < m_vSegments.size()) {
    if (m_pPacking && std::size_t(m_pPacking->nSegment) == drop) {
      FinishPacking();
      return DropOldest(bytes);
    }
    used -= SegmentBytes(m_vSegments[drop++]);
  }
  if (drop == 0) return 0;
  int lines = 0;
  for (std::size_t i = 0; i < drop; ++i) {
    const Segment& s = m_vSegments[i];
    if (s.IsPacked()) m_pCache->Forget(s.nPackId);
    lines += s.Count();
    m_nSelected -= int(std::count_if(s.vFlags.begin(), s.vFlags.end(), [](std::uint8_t f) { return f & kSelected; }));
  }
  m_vSegments.erase(m_vSegments.begin(), m_vSegments.begin() + std::ptrdiff_t(drop));
  m_vFirstLine.erase(m_vFirstLine.begin(), m_vFirstLine.begin() + std::ptrdiff_t(drop));
  for (int& first : m_vFirstLine) first -= lines;
  m_nCount -= lines;
  if (m_pPacking) m_pPacking->nSegment -= int(drop);
  if (before - used >= kTrimAfterDrop) malloc_trim(0);
  return lines;
}

QString CLineStore::OwnText(int index) const {
  const Location at = Locate(index);
  const CStoredText own = Plain(at.nSegment).Own(at.nLine);
  if (own.bWide) return QString(reinterpret_cast<const QChar*>(own.pData), qsizetype(own.nUnits));
  return QString::fromLatin1(own.pData, qsizetype(own.nUnits));
}

int CLineStore::Depth(int index) const {
  const Location at = Locate(index);
  return int(Plain(at.nSegment).Depth(at.nLine));
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
  const Segment& s = Plain(at.nSegment);
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
  const Segment& s = Plain(at.nSegment);
  // Fit() keeps the sum within kMaxLineLength.
  return int(IndentLength(s, at.nLine) + qsizetype(s.Own(at.nLine).nUnits));
}

SHeldLine CLineStore::Line(int index) const {
  const Location at = Locate(index);
  const Segment& s = Plain(at.nSegment);
  const CStoredText own = s.Own(at.nLine);
  constexpr int kAhead = 16;
  if (at.nLine + kAhead < s.Count()) __builtin_prefetch(s.vBytes.data() + s.vEnds[std::size_t(at.nLine + kAhead - 1)]);
  const QAnyStringView text = own.bWide
                                  ? QAnyStringView(reinterpret_cast<const char16_t*>(own.pData), qsizetype(own.nUnits))
                                  : QAnyStringView(QLatin1StringView(own.pData, qsizetype(own.nUnits)));
  return {index, text, int(s.Depth(at.nLine)), s.Stamp(at.nLine)};
}

SLineStamp CLineStore::Stamp(int index) const {
  const Location at = Locate(index);
  return Plain(at.nSegment).Stamp(at.nLine);
}

bool CLineStore::IsLatin1(int index) const {
  const Location at = Locate(index);
  return !(m_vSegments[std::size_t(at.nSegment)].vFlags[std::size_t(at.nLine)] & kWide);
}

std::size_t CLineStore::MemoryUsed() const {
  std::size_t bytes = m_vSegments.capacity() * sizeof(Segment) + m_vFirstLine.capacity() * sizeof(int) +
                      m_vIndents.capacity() * sizeof(QString);
  for (const QString& indent : m_vIndents) bytes += std::size_t(indent.capacity()) * sizeof(QChar);
  for (const Segment& s : m_vSegments) bytes += SegmentBytes(s);
  return bytes + m_pCache->Bytes();
}

std::size_t CLineStore::SegmentBytes(const Segment& s) {
  return s.vBytes.capacity() + s.vEnds.capacity() * sizeof(std::uint32_t) + s.vFlags.capacity() + s.depths.Bytes() +
         s.timeOffsets.Bytes() + s.senders.Bytes() + s.spans.Bytes() + s.vPacked.capacity();
}

}  // namespace zef
