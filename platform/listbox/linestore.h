// The compact line store behind CListBox: millions of text lines, each with
// a selection mark, an indent depth and a stamp (time, sender, span), at
// little more than one byte per character.
//
// A line is its own text shown after its indent: the indent string repeated
// depth times. The indent is never stored, so a line costs the same at any
// depth and with any indent string; Text() puts the two together for callers
// that read lines, and searches judge the indent from the depth.
//
// Lines live in segments of up to kSegmentLines lines. A segment owns one
// byte buffer and, per line, a 32-bit end offset and a flag byte, so there is
// no heap object per line and only the open (last) segment carries spare
// capacity; a segment is shrunk to fit when it is sealed. A line whose
// UTF-16 units all fit in Latin-1 is stored as one byte per unit; any other
// line is stored as UTF-16 at an even offset (flag LineFlag::Wide). A
// segment holds a depth per line only once one of its lines is indented (a
// byte per line while its depths stay below 256, else 32 bits), and one
// indent string for all of them: a line indented with another string goes
// to a segment of its own. Text is handed out as QString on demand;
// searches compare in place.
//
// Stamps cost at most 12 bytes per line, each part held only once a line of
// the segment needs it: a 32-bit time offset from the segment's 64-bit base,
// the sender and the span's code (each a byte per line while the segment's
// values are small: senders below 256, spans below 255 us or none; else 32
// bits). The base lies 2^31 us before the first timed line, so a segment
// keeps exactly any time within about 35 minutes either side of it (a clock
// stepped back stays in the segment); time 0 is a flag and fits every
// segment. A line whose time does not fit the segment it would join is never
// rounded: an append starts a new segment, an insert puts the line in a
// segment of its own, as it does for another indent string.
//
// Only the open (last) segment stays as described; a segment is packed when
// it is sealed: its bytes, ends and number columns are compressed (LZ4: it
// unpacks a segment in a fraction of a millisecond and trace text shrinks
// to a fifth or less), and only the flag bytes stay plain, so selection
// marks change in place. Reads unpack through a small cache of recent
// segments (SegmentCache, a few MB, shared by the threads that read the
// store); an insert into a packed segment unpacks it and packs it again.
// A walk over many lines unpacks each segment once.
#pragma once

#include <QAnyStringView>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zef {

// What a list keeps beside a line: when it was taken in, who sent it, and
// for a line that ends a call, how long the call took.
struct SLineStamp {
  std::int64_t nTime = 0;     // microseconds (the owner's clock; since the epoch in the monitor)
  std::uint32_t nSender = 0;  // the owner's sender id
  std::int64_t nSpan = -1;    // microseconds; negative: none

  bool operator==(const SLineStamp&) const = default;
};

// One stored line as read in place: its index in the store, its own text
// (Latin-1 or UTF-16; no indent), its depth and its stamp. The text stays
// valid until the store changes or the same thread has read lines of four
// other sealed segments since (each thread keeps the last four it read);
// copy it to keep it longer. Reads on other threads never end it.
struct SHeldLine {
  int nIndex = 0;
  QAnyStringView text;
  int nDepth = 0;
  SLineStamp stamp;
};

// Held lines nFirst..nLast, both included.
struct SHeldRange {
  int nFirst = 0;
  int nLast = 0;
  bool operator==(const SHeldRange&) const = default;
};

class CLineSearch;

class CLineStore {
 public:
  // Lines longer than this many UTF-16 units, indent included, are cut to
  // it, so that every offset of a segment fits in 32 bits.
  static constexpr int kMaxLineLength = 1 << 28;
  static constexpr int kSegmentLines = 4096;
  // Spans are kept exactly below kExactSpanLimit microseconds and to the
  // nearest millisecond above; longer than kMaxSpan they read back as
  // kMaxSpan. A negative span (none) reads back as -1.
  static constexpr std::int64_t kExactSpanLimit = std::int64_t(1) << 31;
  static constexpr std::int64_t kMaxSpan = std::int64_t(0x7FFFFFFE) * 1000;

  CLineStore();
  ~CLineStore();
  CLineStore(const CLineStore&) = delete;
  CLineStore& operator=(const CLineStore&) = delete;

  int Count() const { return m_nCount; }
  // The indent string of lines stored from now on; lines already stored
  // keep theirs. Two spaces until set.
  void SetIndent(QStringView indent);
  const QString& CurrentIndent() const { return m_vIndents[std::size_t(m_nIndent)]; }
  // Appends `line` at the end, shown at `depth` (0 and below: no indent),
  // with `stamp`; returns its index.
  int Append(QStringView line, int depth = 0, const SLineStamp& stamp = {});
  // Stores `line` at `index` (0 .. Count(), both ends included); the lines
  // from `index` on, with their selection marks, move down by one. The time
  // is kept exactly here too, however it relates to its neighbours'.
  void Insert(int index, QStringView line, int depth = 0, const SLineStamp& stamp = {});
  // Removes every line; the indent string stays. The memory goes back to
  // the system.
  void Clear();
  // Removes the oldest whole segments, never the open (last) one, while
  // MemoryUsed() is above `bytes`; returns how many lines went. Every line
  // after them moves up by that many, its selection mark with it. A large
  // drop gives the memory back to the system.
  int DropOldest(std::size_t bytes);
  // Segments held; it grows by one each time a segment is sealed on append.
  int SegmentCount() const;

  // Index must be valid (0 .. Count() - 1) for these.
  // The line as shown: its indent, then its own text.
  QString Text(int index) const;
  int Length(int index) const;
  // The parts of the line as shown.
  QString OwnText(int index) const;
  int Depth(int index) const;
  const QString& IndentOf(int index) const;
  bool IsLatin1(int index) const;
  // Whether the line as shown (indent included) holds `ch`.
  bool Contains(int index, char16_t ch) const;
  // The stamp as stored: the time exactly, the span as kExactSpanLimit says.
  SLineStamp Stamp(int index) const;
  // The line read in place, without copying its text. A walk that reads
  // line after line this way runs about twice as fast as the lines' bytes
  // alone would let it: each read asks the processor to fetch the text of
  // a line further on.
  SHeldLine Line(int index) const;

  // The first line from `from` (included) stepping by `step` (+1 or -1)
  // whose text as shown contains `needle`; -1 when the walk leaves the
  // store or `from` is not a valid index. An empty needle is found in every
  // line.
  // With `among` (ascending indices), only the lines it lists count: a hit
  // on another line is stepped over, so `from` must be listed.
  int Find(int from, int step, QStringView needle, Qt::CaseSensitivity cs,
           const std::vector<std::uint32_t>* among = nullptr) const;

  bool IsSelected(int index) const;
  // Returns whether the mark changed.
  bool SetSelected(int index, bool select);
  void SetAllSelected(bool select);
  // Lines first..last, both included (valid indices, first <= last).
  void SetRangeSelected(int first, int last, bool select);
  int SelectedCount() const { return m_nSelected; }
  // The selected indices in ascending order, at most `maxItems` of them.
  std::vector<int> SelectedItems(int maxItems) const;

  // Heap bytes held, capacities and the cache of unpacked segments included.
  std::size_t MemoryUsed() const;

 private:
  struct Segment;
  struct PackJob;
  class SegmentCache;
  struct Packing;
  struct Location {
    int nSegment;
    int nLine;  // within the segment
  };

  Location Locate(int index) const;
  // Waits for the segment being packed in the background and puts it in
  // place; anything that changes sealed segments calls it first.
  void FinishPacking();
  // Segment `segment` as read: plain, through the cache when packed.
  const Segment& Plain(int segment) const;
  static std::size_t SegmentBytes(const Segment& s);
  // Find over every line from `from` on; the needle is not empty.
  int FindFrom(int from, int step, const CLineSearch& search) const;
  // The open segment, or a new one, with room for a line of `bytesNeeded`
  // bytes at `depth` taken in at `time`.
  Segment& OpenSegmentFor(std::size_t bytesNeeded, std::uint32_t depth, std::int64_t time);
  // Lines from `line` on move to a new segment right after `segment`.
  void SplitSegment(int segment, int line);
  // `line` cut so that with its indent at `depth` it fits kMaxLineLength;
  // `depth` becomes 0 when the indent is empty.
  QStringView Fit(QStringView line, int& depth) const;
  // Units of the indent of line `line` of `s` as shown, at most kMaxLineLength.
  qsizetype IndentLength(const Segment& s, int line) const;

  std::vector<Segment> m_vSegments;
  std::vector<int> m_vFirstLine;  // index of the first line of each segment
  // Every indent string a stored line uses, and the one for new lines.
  std::vector<QString> m_vIndents;
  int m_nIndent = 0;
  int m_nCount = 0;
  int m_nSelected = 0;
  std::unique_ptr<SegmentCache> m_pCache;
  // The segment sealed last on append, compressed on another thread while
  // lines go on arriving; at most one at a time.
  std::unique_ptr<Packing> m_pPacking;
};

}  // namespace zef
