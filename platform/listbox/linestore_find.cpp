// Searching the line store: a character in one line, a needle over a walk of
// lines segment by segment.
#include "platform/listbox/segmentcache.h"

#include <memory>

namespace zef {

int CLineStore::Segment::Find(int lo, int hi, int step, const CLineSearch& search, const CIndentMatch* indent) const {
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

int CLineStore::Segment::FindInRun(int lo, int hi, int step, const CLineSearch& search) const {
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
bool CLineStore::Contains(int index, char16_t ch) const {
  const Location at = Locate(index);
  const Segment& s = Plain(at.nSegment);
  if (s.Depth(at.nLine) > 0 && m_vIndents[std::size_t(s.nIndent)].contains(QChar(ch))) return true;
  const CStoredText own = s.Own(at.nLine);
  if (own.bWide) {
    const auto* units = reinterpret_cast<const char16_t*>(own.pData);
    return std::find(units, units + own.nUnits, ch) != units + own.nUnits;
  }
  return ch <= 0xFF && std::memchr(own.pData, ch, own.nUnits) != nullptr;
}

int CLineStore::Find(int from, int step, QStringView needle, Qt::CaseSensitivity cs,
                     const std::vector<std::uint32_t>* among) const {
  if (from < 0 || from >= m_nCount) return -1;
  if (needle.isEmpty()) return from;
  step = step < 0 ? -1 : 1;
  const CLineSearch search(needle, cs);
  while (true) {
    const int hit = FindFrom(from, step, search);
    if (hit < 0 || !among) return hit;
    // Unlisted hits cost a look-up each; the search goes on from the next
    // listed line beyond them.
    const auto it = std::lower_bound(among->begin(), among->end(), std::uint32_t(hit));
    if (it != among->end() && *it == std::uint32_t(hit)) return hit;
    if (step > 0 && it == among->end()) return -1;
    if (step < 0 && it == among->begin()) return -1;
    from = int(step > 0 ? *it : *(it - 1));
  }
}

int CLineStore::FindFrom(int from, int step, const CLineSearch& search) const {
  // How the needle meets each indent string, worked out when a segment
  // with indented lines first needs it.
  std::vector<std::unique_ptr<CIndentMatch>> indents(m_vIndents.size());

  Location at = Locate(from);
  while (true) {
    const Segment& s = Plain(at.nSegment);
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

}  // namespace zef
