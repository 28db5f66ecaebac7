// The per-line number columns of a line store segment (depths, time
// offsets, senders, span codes): a 32-bit value per line at the width its
// values need. Private to the line store's units.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zef {

// Appends `n` 32-bit values to `out` as differences from the value before
// (the first from 0): ends and times grow line by line, so the differences
// are small numbers that compress well.
inline void AppendDeltas(std::vector<char>& out, const std::uint32_t* values, std::size_t n) {
  const std::size_t start = out.size();
  out.resize(start + n * sizeof(std::uint32_t));
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t delta = values[i] - previous;
    previous = values[i];
    std::memcpy(out.data() + start + i * sizeof(std::uint32_t), &delta, sizeof delta);
  }
}

// Reads `n` values that AppendDeltas wrote at `in` into `values`; returns
// the byte after them.
inline const char* ReadDeltas(const char* in, std::uint32_t* values, std::size_t n) {
  std::uint32_t running = 0;
  for (std::size_t i = 0; i < n; ++i, in += sizeof(std::uint32_t)) {
    std::uint32_t delta;
    std::memcpy(&delta, in, sizeof delta);
    running += delta;
    values[i] = running;
  }
  return in;
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
  std::size_t Bytes() const { return m_vNarrow.capacity() + m_vWide.capacity() * sizeof(std::uint32_t); }

  // Appends the column to `out`: a byte for its width, then its values (a
  // wide column's as AppendDeltas writes them).
  void SaveTo(std::vector<char>& out) const {
    out.push_back(char(m_bWide ? kWideForm : m_vNarrow.empty() ? kEmptyForm : kNarrowForm));
    if (m_bWide) AppendDeltas(out, m_vWide.data(), m_vWide.size());
    else out.insert(out.end(), m_vNarrow.begin(), m_vNarrow.end());
  }
  // Reads a column of `count` lines that SaveTo wrote at `in`; returns the
  // byte after it.
  const char* LoadFrom(const char* in, int count) {
    const char form = *in++;
    m_bWide = form == kWideForm;
    if (m_bWide) {
      m_vWide.resize(std::size_t(count));
      return ReadDeltas(in, m_vWide.data(), std::size_t(count));
    }
    if (form == kNarrowForm) {
      m_vNarrow.assign(in, in + count);
      in += count;
    }
    return in;
  }

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

  enum : char { kEmptyForm, kNarrowForm, kWideForm };

  std::vector<std::uint8_t> m_vNarrow;  // value - kDefault
  std::vector<std::uint32_t> m_vWide;   // the values, once m_bWide
  bool m_bWide = false;
};

}  // namespace zef
