// How a record's property buffer is kept in the store file.
//
// The buffer itself is mostly zeros and fixed-width fields (a five-property
// record is 122 bytes, 80 of them entries), and storing it as it is made
// the import spend half its time moving bytes through SQLite and the
// kernel. So a buffer laid out exactly as BuildPropertyBuffer lays it out is
// kept packed, and a read rebuilds it byte for byte; any other valid buffer
// (written through WriteRecordBuffer by a program with its own layout) is
// kept as it is.
//
//   stored := format:u8  count:varint  size:varint  body
//   format kRaw:    body is the buffer's `size` bytes
//   format kPacked: body is `count` properties:
//   property := type:u8  number:varint  value
//   value  (by type)
//     kI2, kI4, kI8        zigzag varint of the signed value
//     kUI2, kUI4, kBool    varint (a bool is 0 or 1)
//     kFileTime            8 bytes, little-endian
//     kString              varint (length << 1 | utf8), then the text: UTF-8
//                          bytes when utf8 is 1, else UTF-16LE units; the
//                          length counts bytes or units
//     kBlob                varint length, then the bytes
//
// `count` and `size` are the record's property count and buffer size. A
// rebuild that does not come out at exactly `size`, or that would step
// outside either buffer, is a damaged record (EILSEQ).
#pragma once

#include <zefstore/propbuffer.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zef::store::packed {

inline constexpr std::uint8_t kRaw = 0;
inline constexpr std::uint8_t kPacked = 1;

// The size of the buffer that BuildPropertyBuffer makes of these values: 0,
// or the error it would give.
int MeasureBuffer(const SPropValue* values, std::size_t count, std::size_t* size);

// The stored form of these values, `*length` bytes of `stored` from
// `*begin` (the header is written last, in front of the body, so the values
// are walked once; `stored` is kept at its largest size so that it is not
// cleared again for every record). 0, or the error BuildPropertyBuffer would
// give; `*size` is the size of the buffer they make.
int Pack(const SPropValue* values, std::size_t count, std::vector<std::uint8_t>* stored, std::size_t* begin,
         std::size_t* length, std::size_t* size);

// The stored form of a valid buffer of `count` properties, the whole of
// `stored`: packed when it is laid out as BuildPropertyBuffer would lay out
// its values, else raw.
void PackBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count, std::vector<std::uint8_t>* stored);

// The property count and buffer size of a stored record; false when the
// header is malformed or out of range.
bool ReadHeader(const std::uint8_t* stored, std::size_t storedSize, std::size_t* count, std::size_t* size);

// Rebuilds a record's property buffer into `buffer` and its property count
// into `*count`; false for anything malformed. `text` is scratch space.
bool Unpack(const std::uint8_t* stored, std::size_t storedSize, std::size_t* count, std::vector<std::uint8_t>* buffer,
            std::u16string* text);

}  // namespace zef::store::packed
