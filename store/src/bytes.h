// Little-endian reads and writes of the property buffer, independent of the
// host's byte order and alignment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zef::store::bytes {

inline std::uint16_t Read16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t Read32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t Read64(const std::uint8_t* p) { return Read32(p) | (std::uint64_t(Read32(p + 4)) << 32); }

inline void Write16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void Write32(std::uint8_t* p, std::uint32_t v) {
  Write16(p, std::uint16_t(v));
  Write16(p + 2, std::uint16_t(v >> 16));
}
inline void Write64(std::uint8_t* p, std::uint64_t v) {
  Write32(p, std::uint32_t(v));
  Write32(p + 4, std::uint32_t(v >> 32));
}

// Offset of the zero unit that ends the UTF-16LE text at `offset`, or
// `size` when there is none inside the buffer (or `offset` is outside it).
inline std::size_t FindTerminator(const std::uint8_t* buffer, std::size_t size, std::size_t offset) {
  if (offset >= size) return size;
  for (std::size_t at = offset; size - at >= 2; at += 2) {
    if (buffer[at] == 0 && buffer[at + 1] == 0) return at;
  }
  return size;
}

}  // namespace zef::store::bytes
