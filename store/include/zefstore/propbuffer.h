// The property buffer of one record: what a record read hands back and what
// the record formatter reads.
//
//   offset 0            one 16-byte entry per property, no gaps
//   offset 16 * count   variable-length data: strings and blobs
//
// An entry, all fields little-endian:
//
//   bytes 0-1    type code (EPropType)
//   bytes 2-3    property number (the high half of the 32-bit property id)
//   bytes 4-5    data length: 0 (kept for the layout, not used)
//   bytes 6-7    flags: 0
//   bytes 8-15   the value:
//                  kI2, kUI2        16 bits in bytes 8-9, bytes 10-15 zero
//                  kI4, kUI4, kBool 32 bits in bytes 8-11, bytes 12-15 zero
//                  kI8, kFileTime   64 bits
//                  kString          bytes 8-11: offset into this buffer of
//                                   the text, UTF-16LE ending in a zero
//                                   unit; bytes 12-15 zero
//                  kBlob            bytes 8-11: byte count; bytes 12-15:
//                                   offset of the bytes into this buffer
//
// BuildPropertyBuffer lays the variable data out in property order right
// after the entries, each string at an even offset; the buffer's size is
// exactly what it holds, so one kUI4 property is a 16-byte buffer.
// Requires C++17; no Qt.
#ifndef ZEFSTORE_PROPBUFFER_H
#define ZEFSTORE_PROPBUFFER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <zefstore/export.h>

namespace zef::store {

enum class EPropType : std::uint16_t {
  kI2 = 2,
  kI4 = 3,
  kI8 = 5,
  kBool = 11,
  kUI2 = 18,
  kUI4 = 19,
  kString = 31,
  kFileTime = 64,  // 100-ns intervals since 1601-01-01 UTC
  kBlob = 65,
};

inline constexpr std::size_t kPropEntrySize = 16;
// A record holds at most this many properties: the count is 16 bits wide.
inline constexpr std::size_t kMaxProperties = 0xFFFF;
// Upper bound of one record's buffer, so that a read of any store, however
// made, allocates a bounded amount.
inline constexpr std::size_t kMaxRecordSize = std::size_t(16) << 20;

// Seconds between 1601-01-01 and 1970-01-01, both UTC.
inline constexpr std::int64_t kFileTimeEpochOffsetSeconds = 11644473600;

struct SPropValue {
  EPropType eType = EPropType::kI4;
  std::uint16_t nPropNumber = 0;
  // Integer types, kBool (0 or not) and kFileTime (the 64 bits, unsigned).
  std::int64_t nValue = 0;
  std::u16string strText;           // kString; no U+0000 inside
  std::vector<std::uint8_t> bytes;  // kBlob

  static SPropValue I2(std::int16_t value) { return Integer(EPropType::kI2, value); }
  static SPropValue UI2(std::uint16_t value) { return Integer(EPropType::kUI2, value); }
  static SPropValue I4(std::int32_t value) { return Integer(EPropType::kI4, value); }
  static SPropValue UI4(std::uint32_t value) { return Integer(EPropType::kUI4, value); }
  static SPropValue I8(std::int64_t value) { return Integer(EPropType::kI8, value); }
  static SPropValue Bool(bool value) { return Integer(EPropType::kBool, value ? 1 : 0); }
  static SPropValue FileTime(std::uint64_t value) {
    return Integer(EPropType::kFileTime, static_cast<std::int64_t>(value));
  }
  static SPropValue String(std::u16string text) {
    SPropValue v;
    v.eType = EPropType::kString;
    v.strText = std::move(text);
    return v;
  }
  static SPropValue Blob(std::vector<std::uint8_t> data) {
    SPropValue v;
    v.eType = EPropType::kBlob;
    v.bytes = std::move(data);
    return v;
  }

 private:
  static SPropValue Integer(EPropType type, std::int64_t value) {
    SPropValue v;
    v.eType = type;
    v.nValue = value;
    return v;
  }
};

// Lays `count` values out as described above into `buffer` (replacing its
// content, keeping its capacity). 0, or EINVAL for a type code that is not
// one of EPropType or a string holding U+0000, or E2BIG for more than
// kMaxProperties values or a buffer over kMaxRecordSize.
ZEFSTORE_API int BuildPropertyBuffer(const SPropValue* values, std::size_t count, std::vector<std::uint8_t>* buffer);
inline int BuildPropertyBuffer(const std::vector<SPropValue>& values, std::vector<std::uint8_t>* buffer) {
  return BuildPropertyBuffer(values.data(), values.size(), buffer);
}

// Whether `size` bytes at `buffer` are a buffer of `count` properties that
// can be read without touching a byte outside it, and whose values are no
// more than the buffer holds: the entries fit, every string's offset lies
// inside and its zero unit is found before the end, every blob lies inside,
// and each string's and blob's bytes lie after the entries and apart from
// every other's (a text shared by two entries is damage). Entries of
// unknown type codes are accepted (they are shown as unknown). Linear in
// `size`. 0, or EILSEQ, or EFBIG for a size over kMaxRecordSize.
ZEFSTORE_API int ValidatePropertyBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count);

// The values of a valid buffer (see ValidatePropertyBuffer); an unknown type
// code is kept with nValue holding bytes 8-15. 0, or the error of
// ValidatePropertyBuffer.
ZEFSTORE_API int DecodePropertyBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count,
                                      std::vector<SPropValue>* values);

}  // namespace zef::store

#endif
