// Finding a needle in stored lines without copying them.
//
// A line is shown as its indent (an indent string repeated `depth` times,
// never stored) followed by its own text, stored as Latin-1 bytes or as
// UTF-16 units. CLineSearch finds the needle in own text: Latin-1 text is
// compared byte by byte through a table (so a run of Latin-1 lines can be
// searched as one block of bytes), UTF-16 text as QStringView does. CIndentMatch
// answers the rest from the depth and the start of the own text: a needle
// that lies wholly in the indent, or that begins in the indent and ends in
// the text. Together they agree with QStringView::contains on the shown
// line, case folding included.
#pragma once

#include <QAnyStringView>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zef {

// The own text of one stored line.
struct CStoredText {
  const char* pData = nullptr;  // Latin-1 bytes, or UTF-16 units when bWide
  std::size_t nUnits = 0;
  bool bWide = false;
};

class CLineSearch {
 public:
  // `needle` must outlive the search.
  CLineSearch(QStringView needle, Qt::CaseSensitivity cs);

  QStringView Needle() const { return m_needle; }
  Qt::CaseSensitivity Sensitivity() const { return m_cs; }

  // The first occurrence in the Latin-1 bytes [pos, end) of `data`, or
  // `end`. An occurrence is Latin1Length() bytes long; 0 when no Latin-1
  // text can hold the needle.
  std::size_t NextInLatin1(const char* data, std::size_t pos, std::size_t end) const;
  std::size_t Latin1Length() const { return m_strClasses.size(); }
  bool In(const CStoredText& text) const;
  // Whether `text` (Latin-1 or UTF-16; UTF-8 is read as Latin-1) holds the
  // needle. Const and free of shared state: threads may share one search.
  bool In(QAnyStringView text) const;

 private:
  QStringView m_needle;
  Qt::CaseSensitivity m_cs;
  // Every Latin-1 byte reduced to a class (itself when case matters, else
  // the smallest byte of the same fold); the needle as classes. Empty
  // m_strClasses with m_bLatin1Possible false: no Latin-1 text holds it.
  unsigned char m_classes[256];
  std::string m_strClasses;
  bool m_bLatin1Possible = true;
  // Horspool's skip keyed by the window's last two byte classes (one byte
  // would make every needle holding a common letter crawl).
  std::vector<std::uint16_t> m_vSkip;
  // The bytes of the needle's only unit, for memchr when it has one unit.
  std::vector<unsigned char> m_vSingleBytes;
  // The bytes of the needle's first and last byte classes (empty: a class
  // of more than four bytes), for a scan that tests sixteen window
  // positions at once.
  std::vector<unsigned char> m_vFirstBytes, m_vLastBytes;
  // Windows from `i` on that end by `end`, sixteen at a time: true with the
  // first hit in `i`; false with `i` at `end` when there is none, or with
  // `i` unchanged when the text is too short for a step.
  bool ScanWide(const unsigned char* bytes, std::size_t& i, std::size_t end) const;
};

// How the needle meets the indent of lines whose indent string is `indent`.
class CIndentMatch {
 public:
  // `search` must outlive this.
  CIndentMatch(QStringView indent, const CLineSearch& search);

  // False when no line with this indent string holds the needle other than
  // in its own text (the usual case: no per-line work is needed then).
  bool Possible() const { return m_nInsideDepth != kNever || !m_vCrossings.empty(); }
  // Whether the line at `depth` with own text `text` holds the needle in
  // its indent or across the indent's end.
  bool Matches(std::uint32_t depth, const CStoredText& text) const;

 private:
  static constexpr std::uint32_t kNever = UINT32_MAX;
  struct Crossing {
    std::uint32_t nDepth;  // the least depth whose indent ends in the needle's head
    qsizetype nSplit;      // units of the needle inside the indent
  };

  const CLineSearch& m_search;
  std::uint32_t m_nInsideDepth = kNever;  // the least depth whose indent holds the whole needle
  // The needle's heads that an indent can end in, keyed by the (folded)
  // first unit of the tail that must start the own text, so a line is
  // checked only against the heads its first unit allows.
  std::vector<std::pair<char16_t, Crossing>> m_vCrossings;
  std::uint32_t m_nCrossDepth = kNever;  // the least depth of any crossing
  // Per first byte of a Latin-1 text: whether any crossing's tail may start
  // with it, so that most lines are turned away by one look-up.
  bool m_abLatin1Starts[256] = {};
};

}  // namespace zef
