// A line store segment: the bytes, ends, flags and number columns of up to
// kSegmentLines lines (the layout is described in linestore.h). Private to
// the line store's units; what the append and read paths run per line is
// inline here.
#pragma once

#include "platform/listbox/compactcolumn.h"
#include "platform/listbox/linesearch.h"
#include "platform/listbox/linestore.h"

#include <algorithm>
#include <cstring>

namespace zef {

enum LineFlag : std::uint8_t {
  kWide = 1,  // stored as UTF-16 at an even offset
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

inline std::uint32_t EncodeSpan(std::int64_t span) {
  if (span < 0) return kNoSpan;
  if (span < CLineStore::kExactSpanLimit) return std::uint32_t(span);
  const std::int64_t millis = span / 1000 + (span % 1000 >= 500 ? 1 : 0);
  return kSpanInMillis | std::uint32_t(std::min(millis, kMaxSpanMillis));
}

inline std::int64_t DecodeSpan(std::uint32_t code) {
  if (code == kNoSpan) return -1;
  if (code & kSpanInMillis) return std::int64_t(code & ~kSpanInMillis) * 1000;
  return code;
}
// A segment's packing: StartPack() takes what is to be compressed,
// Compress() may then run on any thread while the segment is read but not
// changed, and FinishPack() puts the result in place.
struct CLineStore::PackJob {
  const char* pBytes = nullptr;  // the segment's bytes, left where they lie
  std::size_t nBytes = 0;
  std::vector<char> vRest;  // the ends and columns, saved
  std::vector<char> vPacked;
  std::uint32_t nPackedBytes = 0;

  void Compress();
};

struct CLineStore::Segment {
  std::vector<char> vBytes;
  std::vector<std::uint32_t> vEnds;  // end offset of each line in vBytes
  std::vector<std::uint8_t> vFlags;  // LineFlag bits of each line, plain even when packed
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
  // Once packed (nPackId != 0), vBytes, vEnds and the columns are empty and
  // vPacked holds them compressed: the bytes as one LZ4 block of
  // nPackedBytes bytes that opens nPlainBytes bytes, then the ends and the
  // columns as a second block of nPlainRest bytes. nPackId names this
  // packing (no other segment of any store ever has it), so a plain copy
  // read back under it never goes stale.
  std::vector<char> vPacked;
  std::uint64_t nPackId = 0;
  std::uint32_t nPackedBytes = 0;
  std::uint32_t nPlainBytes = 0;
  std::uint32_t nPlainRest = 0;
  bool bPackedDepths = false;

  int Count() const { return int(vFlags.size()); }
  bool IsPacked() const { return nPackId != 0; }
  bool HasDepths() const { return IsPacked() ? bPackedDepths : !depths.IsEmpty(); }
  std::uint32_t Depth(int line) const { return depths.Get(line); }

  // An empty segment to which lines of this one can be copied.
  Segment BlankLike() const;

  bool FitsTime(std::int64_t time) const {
    return time == 0 || !bTimed || (time >= nTimeBase && std::uint64_t(time) - std::uint64_t(nTimeBase) <= UINT32_MAX);
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
  void CopyExtras(int at, const Segment& from, int line);

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
  void CopyFrom(const Segment& from, int line);

  // Inserts `line` before line `at` by moving the bytes behind it; false
  // (nothing changed) when that move would misalign a UTF-16 line.
  // The stamp's time fits (FitsTime).
  bool InsertInPlace(int at, QStringView line, std::uint32_t depth, const SLineStamp& stamp);

  // Shrinks the buffers to fit and packs the segment.
  void Seal();
  // Compresses the bytes, ends and columns into vPacked and frees them:
  // at once, or in the steps of a PackJob.
  void Pack();
  PackJob StartPack() const;
  void FinishPack(PackJob&& job);
  // The segment as it was before Pack(), with this segment's current flags.
  Segment Unpacked() const;

  // The first (step > 0) or last (step < 0) of lines lo..hi whose text as
  // shown holds the needle, or -1. `indent` is null when no indent of this
  // segment can hold any part of it.
  int Find(int lo, int hi, int step, const CLineSearch& search, const CIndentMatch* indent) const;

  // Find over the own texts of lines lo..hi, all Latin-1: a hit counts
  // where it lies inside one line.
  int FindInRun(int lo, int hi, int step, const CLineSearch& search) const;
};

// Which segment holds line `index`, and where in it: on every read, so inline.
inline CLineStore::Location CLineStore::Locate(int index) const {
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

}  // namespace zef
