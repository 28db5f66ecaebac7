#include <zefstore/recordline.h>
#include <zefstore/propbuffer.h>

#include <cinttypes>
#include <cstdio>

#include "bytes.h"

namespace zef::store {

namespace {

// Appends ASCII text made by snprintf.
template <class... Args>
void AppendF(std::u16string* line, const char* format, Args... args) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, format, args...);
  for (int i = 0; i < n && i < int(sizeof text) - 1; ++i) line->push_back(char16_t(static_cast<unsigned char>(text[i])));
}

void Append(std::u16string* line, const char* ascii) {
  while (*ascii != '\0') line->push_back(char16_t(*ascii++));
}

void AppendProperty(std::u16string* line, const std::uint8_t* buffer, std::size_t size, const std::uint8_t* entry) {
  const std::uint8_t* value = entry + 8;
  switch (static_cast<EPropType>(bytes::Read16(entry))) {
    case EPropType::kI2:
      AppendF(line, "(int16)%d", int(std::int16_t(bytes::Read16(value))));
      return;
    case EPropType::kI4:
      AppendF(line, "(int32)%d", int(std::int32_t(bytes::Read32(value))));
      return;
    case EPropType::kI8:
      AppendF(line, "(int64)%" PRId64, std::int64_t(bytes::Read64(value)));
      return;
    case EPropType::kBool:
      Append(line, bytes::Read32(value) != 0 ? "(bool)true" : "(bool)false");
      return;
    case EPropType::kUI2:
      AppendF(line, "(uint16)%d", int(bytes::Read16(value)));
      return;
    case EPropType::kUI4:
      AppendF(line, "(uint32)%" PRIu32, bytes::Read32(value));
      return;
    case EPropType::kString: {
      const std::size_t offset = bytes::Read32(value);
      const std::size_t end = bytes::FindTerminator(buffer, size, offset);
      if (end == size) break;
      Append(line, "(wchar *)\"");
      for (std::size_t at = offset; at < end; at += 2) line->push_back(char16_t(bytes::Read16(buffer + at)));
      line->push_back(u'"');
      return;
    }
    case EPropType::kFileTime:
    case EPropType::kBlob:
      break;
  }
  Append(line, "(?)?");
}

}  // namespace

std::u16string FormatRecordLine(const std::uint8_t* buffer, std::uint16_t propCount, std::uint32_t bufferSize,
                                int position, int maxLineLength) {
  std::u16string line;
  line.reserve(32 + std::size_t(propCount) * 16);
  // The size is printed as the handheld's "%d" would print the 32-bit value.
  if (position == -1) {
    AppendF(&line, "[%d,%d] ", int(propCount), int(std::int32_t(bufferSize)));
  } else {
    AppendF(&line, "%03d: [%d,%d] ", position, int(propCount), int(std::int32_t(bufferSize)));
  }
  const std::size_t fitting = buffer == nullptr ? 0 : bufferSize / kPropEntrySize;
  for (std::size_t i = 0; i < propCount && i < fitting; ++i) {
    AppendProperty(&line, buffer, bufferSize, buffer + i * kPropEntrySize);
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
  AppendF(&line, " type=%d records=%" PRIu64 ", size=%" PRIu64 " KB", int(std::int32_t(type)), records,
          sizeBytes >> 10);
  return line;
}

}  // namespace zef::store
