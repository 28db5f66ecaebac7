// The line store's selection marks: a flag bit per line, and the count of
// lines that carry it.
#include "platform/listbox/linesegment.h"

namespace zef {

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

}  // namespace zef
