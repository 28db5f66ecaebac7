// The compact line store behind CListBox: millions of text lines, each with
// a selection mark, at little more than one byte per character.
//
// Lines live in segments of up to kSegmentLines lines. A segment owns one
// byte buffer and, per line, a 32-bit end offset and a flag byte, so there is
// no heap object per line and only the open (last) segment carries spare
// capacity; a segment is shrunk to fit when it is sealed. A line whose
// UTF-16 units all fit in Latin-1 is stored as one byte per unit; any other
// line is stored as UTF-16 at an even offset (flag LineFlag::Wide). Text is
// handed out as QString on demand; searches compare in place.
#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zef {

class CLineStore {
 public:
  // Lines longer than this many UTF-16 units are cut to it, so that every
  // offset of a segment fits in 32 bits.
  static constexpr int kMaxLineLength = 1 << 28;
  static constexpr int kSegmentLines = 4096;

  CLineStore();
  ~CLineStore();
  CLineStore(const CLineStore&) = delete;
  CLineStore& operator=(const CLineStore&) = delete;

  int Count() const { return m_nCount; }
  // Appends `line` at the end; returns its index.
  int Append(QStringView line);
  // Stores `line` at `index` (0 .. Count(), both ends included); the lines
  // from `index` on, with their selection marks, move down by one.
  void Insert(int index, QStringView line);
  void Clear();

  // Index must be valid (0 .. Count() - 1) for these.
  QString Text(int index) const;
  int Length(int index) const;
  bool IsLatin1(int index) const;
  bool Contains(int index, char16_t ch) const;

  // The first line from `from` (included) stepping by `step` (+1 or -1)
  // whose text contains `needle`; -1 when the walk leaves the store or
  // `from` is not a valid index. An empty needle is found in every line.
  int Find(int from, int step, QStringView needle, Qt::CaseSensitivity cs) const;

  bool IsSelected(int index) const;
  // Returns whether the mark changed.
  bool SetSelected(int index, bool select);
  void SetAllSelected(bool select);
  int SelectedCount() const { return m_nSelected; }
  // The selected indices in ascending order, at most `maxItems` of them.
  std::vector<int> SelectedItems(int maxItems) const;

  // Heap bytes held, capacities included.
  std::size_t MemoryUsed() const;

 private:
  struct Segment;
  struct Location {
    int nSegment;
    int nLine;  // within the segment
  };

  Location Locate(int index) const;
  Segment& OpenSegmentFor(std::size_t bytesNeeded);
  void SplitSegment(int segment);
  void RenumberFrom(int segment);

  std::vector<Segment> m_vSegments;
  std::vector<int> m_vFirstLine;  // index of the first line of each segment
  int m_nCount = 0;
  int m_nSelected = 0;
};

}  // namespace zef
