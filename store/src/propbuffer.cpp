#include <zefstore/propbuffer.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "bytes.h"
#include "packed.h"

namespace zef::store {

namespace {

bool IsKnownType(std::uint16_t code) {
  switch (static_cast<EPropType>(code)) {
    case EPropType::kI2:
    case EPropType::kI4:
    case EPropType::kI8:
    case EPropType::kBool:
    case EPropType::kUI2:
    case EPropType::kUI4:
    case EPropType::kString:
    case EPropType::kFileTime:
    case EPropType::kBlob:
      return true;
  }
  return false;
}

}  // namespace

namespace packed {

int MeasureBuffer(const SPropValue* values, std::size_t count, std::size_t* size) {
  if (count > kMaxProperties) return E2BIG;
  // Checked as it grows, so an oversized record is refused before any copy.
  std::size_t total = count * kPropEntrySize;
  for (std::size_t i = 0; i < count; ++i) {
    const SPropValue& v = values[i];
    if (!IsKnownType(std::uint16_t(v.eType))) return EINVAL;
    if (v.eType == EPropType::kString) {
      if (v.strText.find(u'\0') != std::u16string::npos) return EINVAL;
      if (v.strText.size() > kMaxRecordSize) return E2BIG;
      total += total & 1;
      total += (v.strText.size() + 1) * 2;
    } else if (v.eType == EPropType::kBlob) {
      if (v.bytes.size() > kMaxRecordSize) return E2BIG;
      total += v.bytes.size();
    }
    if (total > kMaxRecordSize) return E2BIG;
  }
  *size = total;
  return 0;
}

}  // namespace packed

int BuildPropertyBuffer(const SPropValue* values, std::size_t count, std::vector<std::uint8_t>* buffer) {
  std::size_t size = 0;
  if (int error = packed::MeasureBuffer(values, count, &size); error != 0) return error;
  buffer->assign(size, 0);
  std::uint8_t* out = buffer->data();
  std::size_t data = count * kPropEntrySize;
  for (std::size_t i = 0; i < count; ++i) {
    const SPropValue& v = values[i];
    std::uint8_t* entry = out + i * kPropEntrySize;
    bytes::Write16(entry, std::uint16_t(v.eType));
    bytes::Write16(entry + 2, v.nPropNumber);
    switch (v.eType) {
      case EPropType::kI2:
      case EPropType::kUI2:
        bytes::Write16(entry + 8, std::uint16_t(v.nValue));
        break;
      case EPropType::kI4:
      case EPropType::kUI4:
        bytes::Write32(entry + 8, std::uint32_t(v.nValue));
        break;
      case EPropType::kBool:
        bytes::Write32(entry + 8, v.nValue != 0 ? 1 : 0);
        break;
      case EPropType::kI8:
      case EPropType::kFileTime:
        bytes::Write64(entry + 8, std::uint64_t(v.nValue));
        break;
      case EPropType::kString:
        data += data & 1;
        bytes::Write32(entry + 8, std::uint32_t(data));
        for (char16_t unit : v.strText) {
          bytes::Write16(out + data, unit);
          data += 2;
        }
        data += 2;  // the zero unit, already zero
        break;
      case EPropType::kBlob:
        bytes::Write32(entry + 8, std::uint32_t(v.bytes.size()));
        bytes::Write32(entry + 12, std::uint32_t(data));
        if (!v.bytes.empty()) std::memcpy(out + data, v.bytes.data(), v.bytes.size());
        data += v.bytes.size();
        break;
    }
  }
  return 0;
}

namespace {

// The bytes one string or blob occupies: [nBegin, nEnd).
struct SDataRange {
  std::size_t nBegin;
  std::size_t nEnd;
};

// The range of entry `entry`'s data, or false when it has none (a number, an
// unknown type, an empty blob) or when it does not lie inside the buffer. A
// string's end is looked for no further than `limit`: a text that runs on
// beyond it is refused by the caller either way.
bool DataRangeOf(const std::uint8_t* buffer, std::size_t size, const std::uint8_t* entry, std::size_t limit,
                 SDataRange* range, bool* bad) {
  const auto type = static_cast<EPropType>(bytes::Read16(entry));
  if (type == EPropType::kString) {
    const std::size_t offset = bytes::Read32(entry + 8);
    const std::size_t end = bytes::FindTerminator(buffer, limit < size ? limit : size, offset);
    *bad = end == (limit < size ? limit : size);
    *range = {offset, end + 2};
    return !*bad;
  }
  if (type == EPropType::kBlob) {
    const std::uint64_t length = bytes::Read32(entry + 8);
    const std::uint64_t offset = bytes::Read32(entry + 12);
    *bad = offset + length > size;
    *range = {std::size_t(offset), std::size_t(offset + length)};
    return !*bad && length != 0;
  }
  *bad = false;
  return false;
}

}  // namespace

int ValidatePropertyBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count) {
  if (size > kMaxRecordSize) return EFBIG;
  if (buffer == nullptr) return size == 0 && count == 0 ? 0 : EILSEQ;
  if (count > kMaxProperties || count * kPropEntrySize > size) return EILSEQ;
  // Strings and blobs must lie after the entries and apart from each other.
  // Shared or overlapping texts would let a small record stand for an
  // unbounded amount of text (a thousand entries on one 200 KB string
  // formats to 200 MB), and every reader would pay for it. Each text is
  // then scanned once, so the check is linear in `size`: in buffer order
  // (as BuildPropertyBuffer lays them out) in one pass, else sorted.
  const std::size_t entriesEnd = count * kPropEntrySize;
  std::size_t end = entriesEnd;
  bool inOrder = true;
  for (std::size_t i = 0; i < count; ++i) {
    SDataRange range{};
    bool bad = false;
    if (!DataRangeOf(buffer, size, buffer + i * kPropEntrySize, size, &range, &bad)) {
      if (bad) return EILSEQ;
      continue;
    }
    if (range.nBegin < end) {
      inOrder = false;
      break;
    }
    end = range.nEnd;
  }
  if (inOrder) return 0;
  std::vector<std::pair<std::size_t, std::size_t>> starts;  // data offset, entry index
  starts.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = buffer + i * kPropEntrySize;
    const auto type = static_cast<EPropType>(bytes::Read16(entry));
    if (type == EPropType::kString) starts.emplace_back(bytes::Read32(entry + 8), i);
    if (type != EPropType::kBlob) continue;
    if (bytes::Read32(entry + 8) != 0) {
      starts.emplace_back(bytes::Read32(entry + 12), i);
    } else if (bytes::Read32(entry + 12) > size) {
      return EILSEQ;
    }
  }
  std::sort(starts.begin(), starts.end());
  end = entriesEnd;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    if (starts[k].first < end) return EILSEQ;
    // A text must end before the next one begins, so no byte is scanned twice.
    const std::size_t limit = k + 1 < starts.size() ? starts[k + 1].first : size;
    SDataRange range{};
    bool bad = false;
    DataRangeOf(buffer, size, buffer + starts[k].second * kPropEntrySize, limit, &range, &bad);
    if (bad || range.nEnd > limit) return EILSEQ;
    end = range.nEnd;
  }
  return 0;
}

int DecodePropertyBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count,
                         std::vector<SPropValue>* values) {
  if (const int error = ValidatePropertyBuffer(buffer, size, count); error != 0) return error;
  values->clear();
  values->reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = buffer + i * kPropEntrySize;
    SPropValue v;
    v.eType = static_cast<EPropType>(bytes::Read16(entry));
    v.nPropNumber = bytes::Read16(entry + 2);
    switch (v.eType) {
      case EPropType::kI2:
        v.nValue = std::int16_t(bytes::Read16(entry + 8));
        break;
      case EPropType::kUI2:
        v.nValue = bytes::Read16(entry + 8);
        break;
      case EPropType::kI4:
        v.nValue = std::int32_t(bytes::Read32(entry + 8));
        break;
      case EPropType::kUI4:
        v.nValue = bytes::Read32(entry + 8);
        break;
      case EPropType::kBool:
        v.nValue = bytes::Read32(entry + 8) != 0 ? 1 : 0;
        break;
      case EPropType::kString: {
        const std::size_t offset = bytes::Read32(entry + 8);
        const std::size_t end = bytes::FindTerminator(buffer, size, offset);
        v.strText.reserve((end - offset) / 2);
        for (std::size_t at = offset; at < end; at += 2) v.strText.push_back(char16_t(bytes::Read16(buffer + at)));
        break;
      }
      case EPropType::kBlob: {
        const std::size_t length = bytes::Read32(entry + 8);
        const std::size_t offset = bytes::Read32(entry + 12);
        v.bytes.assign(buffer + offset, buffer + offset + length);
        break;
      }
      case EPropType::kI8:
      case EPropType::kFileTime:
      default:
        v.nValue = std::int64_t(bytes::Read64(entry + 8));
        break;
    }
    values->push_back(std::move(v));
  }
  return 0;
}

}  // namespace zef::store
