// The monitor's line formats for the object store. Programs that list a
// store (ZEFMON, zefdb) print exactly these lines, and later commands read
// the database name and the record position back out of them.
#ifndef ZEFSTORE_RECORDLINE_H
#define ZEFSTORE_RECORDLINE_H

#include <cstdint>
#include <string>
#include <string_view>

#include <zefstore/export.h>

namespace zef::store {

// One record as a line:
//   "%03d: [%d,%d] " (position, property count, buffer size), or without
//   position (-1) "[%d,%d] ", then per property its label and value and "; ":
//   (int16)-5; (int32)7; (int64)9; (bool)true; (uint16)5; (uint32)6;
//   (wchar *)"text"; and (?)? for any other type code (file times, blobs).
// A string is copied between the quotes unescaped. With maxLineLength > 0,
// a line longer than that is cut to its first maxLineLength + 3 UTF-16 units
// and "..." is appended; 0 or less never shortens. A line that will be cut
// is built no further than the cut (and the one number it may be in), so
// its cost is bounded by maxLineLength whatever the buffer holds.
//
// Reads no byte at or beyond `bufferSize`: entries that do not fit are not
// shown, and a string whose text is not inside the buffer, zero-terminated,
// is shown as (?)? (unless the cut falls inside it first). A buffer that
// passed ValidatePropertyBuffer never meets either case, and its line is at
// most a few times its size long.
ZEFSTORE_API std::u16string FormatRecordLine(const std::uint8_t* buffer, std::uint16_t propCount,
                                             std::uint32_t bufferSize, int position, int maxLineLength);

// One database as a line: "\"%s\" type=%d records=%d, size=%d KB". The type
// is shown as a signed 32-bit number (2147483648 shows as -2147483648), the
// record count whole, the size in KB as the byte count shifted right by 10.
// The name is copied unchanged, double quotes included.
ZEFSTORE_API std::u16string FormatDatabaseLine(std::u16string_view name, std::uint32_t type, std::uint64_t records,
                                               std::uint64_t sizeBytes);

}  // namespace zef::store

#endif
