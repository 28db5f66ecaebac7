// A segment's rarer work: copying lines between segments (inserts and
// splits), inserting in place, sealing, and packing and unpacking.
#include "platform/listbox/linesegment.h"

#include <lz4.h>

#include <atomic>

namespace zef {

namespace {

// Packing's id: counts over every store, so no two packings share one.
std::uint64_t NextPackId() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

// Appends `bytes` compressed to `out`; returns the compressed size.
std::uint32_t Compress(const char* bytes, std::size_t size, std::vector<char>& out) {
  const std::size_t start = out.size();
  out.resize(start + std::size_t(LZ4_compressBound(int(size))));
  const int packed = LZ4_compress_default(bytes, out.data() + start, int(size), int(out.size() - start));
  out.resize(start + std::size_t(packed));
  return std::uint32_t(packed);
}

void Decompress(const char* packed, std::uint32_t packedSize, char* plain, std::uint32_t plainSize) {
  const int got = LZ4_decompress_safe(packed, plain, int(packedSize), int(plainSize));
  // The block was written by Compress in this process: anything else is a
  // broken heap, not bad input.
  if (got != int(plainSize)) std::abort();
}

}  // namespace

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
  vFlags.shrink_to_fit();
  Pack();
}

CLineStore::PackJob CLineStore::Segment::StartPack() const {
  PackJob job;
  job.pBytes = vBytes.data();
  job.nBytes = vBytes.size();
  AppendDeltas(job.vRest, vEnds.data(), vEnds.size());
  depths.SaveTo(job.vRest);
  timeOffsets.SaveTo(job.vRest);
  senders.SaveTo(job.vRest);
  spans.SaveTo(job.vRest);
  return job;
}

void CLineStore::PackJob::Compress() {
  nPackedBytes = zef::Compress(pBytes, nBytes, vPacked);
  zef::Compress(vRest.data(), vRest.size(), vPacked);
  vPacked.shrink_to_fit();
}

void CLineStore::Segment::FinishPack(PackJob&& job) {
  vPacked = std::move(job.vPacked);
  nPackedBytes = job.nPackedBytes;
  nPlainBytes = std::uint32_t(vBytes.size());
  nPlainRest = std::uint32_t(job.vRest.size());
  bPackedDepths = !depths.IsEmpty();
  nPackId = NextPackId();
  // Assigning {} would keep the capacity.
  vBytes = std::vector<char>();
  vEnds = std::vector<std::uint32_t>();
  depths = {};
  timeOffsets = {};
  senders = {};
  spans = {};
}

void CLineStore::Segment::Pack() {
  if (IsPacked() || Count() == 0) return;
  PackJob job = StartPack();
  job.Compress();
  FinishPack(std::move(job));
}

CLineStore::Segment CLineStore::Segment::Unpacked() const {
  Segment plain = BlankLike();
  plain.vFlags = vFlags;
  plain.nWide = nWide;
  plain.vBytes.resize(nPlainBytes);
  Decompress(vPacked.data(), nPackedBytes, plain.vBytes.data(), nPlainBytes);
  thread_local std::vector<char> rest;
  rest.resize(nPlainRest);
  Decompress(vPacked.data() + nPackedBytes, std::uint32_t(vPacked.size()) - nPackedBytes, rest.data(), nPlainRest);
  plain.vEnds.resize(vFlags.size());
  const char* in = ReadDeltas(rest.data(), plain.vEnds.data(), plain.vEnds.size());
  const int count = Count();
  in = plain.depths.LoadFrom(in, count);
  in = plain.timeOffsets.LoadFrom(in, count);
  in = plain.senders.LoadFrom(in, count);
  plain.spans.LoadFrom(in, count);
  return plain;
}
}  // namespace zef
