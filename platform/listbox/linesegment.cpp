// A segment's rarer work: copying lines between segments (inserts and
// splits), inserting in place, and sealing.
#include "platform/listbox/linesegment.h"

namespace zef {

CLineStore::Segment CLineStore::Segment::BlankLike() const {
  Segment s;
  s.nIndent = nIndent;
  s.nTimeBase = nTimeBase;
  s.bTimed = bTimed;
  return s;
}

void CLineStore::Segment::CopyExtras(int at, const Segment& from, int line) {
  const int count = Count();
  const std::size_t reserve = vEnds.capacity();
  depths.Insert(at, from.depths.Get(line), count, reserve);
  timeOffsets.Insert(at, from.timeOffsets.Get(line), count, reserve);
  senders.Insert(at, from.senders.Get(line), count, reserve);
  spans.Insert(at, from.spans.Get(line), count, reserve);
}

void CLineStore::Segment::CopyFrom(const Segment& from, int line) {
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

bool CLineStore::Segment::InsertInPlace(int at, QStringView line, std::uint32_t depth, const SLineStamp& stamp) {
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

void CLineStore::Segment::Seal() {
  if (vBytes.capacity() - vBytes.size() > vBytes.size() / 32) vBytes.shrink_to_fit();
  vEnds.shrink_to_fit();
  vFlags.shrink_to_fit();
  depths.Shrink();
  timeOffsets.Shrink();
  senders.Shrink();
  spans.Shrink();
}
}  // namespace zef
