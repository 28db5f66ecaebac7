#include <zefstore/recordline.h>
#include <zefstore/propbuffer.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "bytes.h"

namespace zef::store {

namespace {

// Numbers are written with to_chars rather than snprintf: listing a large
// database formats hundreds of thousands of lines, and printf's format
// parsing was most of their cost.
template <class T>
void AppendNumber(std::u16string* line, T value, int width = 0) {
  char digits[24] = {};
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  const char* begin = digits;
  // printf's zero padding of "%03d": the sign first, then zeros to the width.
  if (*begin == '-') {
    line->push_back(u'-');
    ++begin;
    --width;
  }
  for (int pad = width - int(result.ptr - begin); pad > 0; --pad) line->push_back(u'0');
  for (const char* p = begin; p != result.ptr; ++p) line->push_back(char16_t(*p));
}

void Append(std::u16string* line, const char* ascii) {
  while (*ascii != '\0') line->push_back(char16_t(*ascii++));
}

// What the formatter needs beyond the buffer: where the line may stop, and
// what it learnt of unterminated texts.
struct SFormat {
  const std::uint8_t* pBuffer;
  std::size_t nSize;
  // The line is complete once it is this long: the rest would be cut.
  std::size_t nLimit;
  // From these offsets on (even, odd) no zero unit follows: a text starting
  // there is unterminated. So a buffer of many entries pointing at unended
  // text is scanned once, not once per entry.
  std::size_t nUnendedFrom[2];
};

// Appends the string at `offset` up to its zero unit or until the line
// reaches its limit; false (the line as it was) when the text has no end
// inside the buffer.
bool AppendString(std::u16string* line, SFormat* format, std::size_t offset) {
  const std::size_t restore = line->size();
  Append(line, "(wchar *)\"");
  std::size_t& unended = format->nUnendedFrom[offset & 1];
  std::size_t at = offset;
  for (; at < unended && format->nSize - at >= 2; at += 2) {
    const char16_t unit = char16_t(bytes::Read16(format->pBuffer + at));
    if (unit == 0) {
      line->push_back(u'"');
      return true;
    }
    // Cut here anyway: whether the text ends further on changes nothing shown.
    if (line->size() >= format->nLimit) return true;
    line->push_back(unit);
  }
  if (offset < unended) unended = offset;
  line->resize(restore);
  return false;
}

void AppendProperty(std::u16string* line, SFormat* format, const std::uint8_t* entry) {
  const std::uint8_t* value = entry + 8;
  switch (static_cast<EPropType>(bytes::Read16(entry))) {
    case EPropType::kI2:
      Append(line, "(int16)");
      AppendNumber(line, std::int16_t(bytes::Read16(value)));
      return;
    case EPropType::kI4:
      Append(line, "(int32)");
      AppendNumber(line, std::int32_t(bytes::Read32(value)));
      return;
    case EPropType::kI8:
      Append(line, "(int64)");
      AppendNumber(line, std::int64_t(bytes::Read64(value)));
      return;
    case EPropType::kBool:
      Append(line, bytes::Read32(value) != 0 ? "(bool)true" : "(bool)false");
      return;
    case EPropType::kUI2:
      Append(line, "(uint16)");
      AppendNumber(line, bytes::Read16(value));
      return;
    case EPropType::kUI4:
      Append(line, "(uint32)");
      AppendNumber(line, bytes::Read32(value));
      return;
    case EPropType::kString:
      if (AppendString(line, format, bytes::Read32(value))) return;
      break;
    case EPropType::kFileTime:
    case EPropType::kBlob:
      break;
  }
  Append(line, "(?)?");
}

}  // namespace

std::u16string FormatRecordLine(const std::uint8_t* buffer, std::uint16_t propCount, std::uint32_t bufferSize,
                                int position, int maxLineLength) {
  // Built no further than one unit past the cut: that unit tells a line cut
  // at maxLineLength + 3 from one that ends there.
  const std::size_t limit = maxLineLength > 0 ? std::size_t(maxLineLength) + 4 : SIZE_MAX;
  SFormat format{buffer, bufferSize, limit, {bufferSize, bufferSize}};
  std::u16string line;
  const std::size_t expected = 32 + std::size_t(propCount) * 16;
  line.reserve(maxLineLength > 0 ? std::min(expected, limit + 32) : expected);
  // The size is printed as the handheld's "%d" would print the 32-bit value.
  if (position != -1) {
    AppendNumber(&line, position, 3);
    Append(&line, ": ");
  }
  line.push_back(u'[');
  AppendNumber(&line, int(propCount));
  line.push_back(u',');
  AppendNumber(&line, std::int32_t(bufferSize));
  Append(&line, "] ");
  const std::size_t fitting = buffer == nullptr ? 0 : bufferSize / kPropEntrySize;
  for (std::size_t i = 0; i < propCount && i < fitting && line.size() < limit; ++i) {
    AppendProperty(&line, &format, buffer + i * kPropEntrySize);
    Append(&line, "; ");
  }
  // Cut to the limit plus three, not minus three: a line one to three units
  // over the limit stays whole and still gets the ellipsis.
  if (maxLineLength > 0 && line.size() > std::size_t(maxLineLength)) {
    const std::size_t keep = std::size_t(maxLineLength) + 3;
    if (line.size() > keep) line.resize(keep);
    Append(&line, "...");
  }
  return line;
}

std::u16string FormatDatabaseLine(std::u16string_view name, std::uint32_t type, std::uint64_t records,
                                  std::uint64_t sizeBytes) {
  std::u16string line;
  line.reserve(name.size() + 48);
  line.push_back(u'"');
  line.append(name);
  line.push_back(u'"');
  Append(&line, " type=");
  AppendNumber(&line, std::int32_t(type));
  Append(&line, " records=");
  AppendNumber(&line, records);
  Append(&line, ", size=");
  AppendNumber(&line, sizeBytes >> 10);
  Append(&line, " KB");
  return line;
}

}  // namespace zef::store
