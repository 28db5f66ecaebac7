#include <zefstore/propbuffer.h>

#include <cerrno>
#include <cstring>

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

int ValidatePropertyBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count) {
  if (size > kMaxRecordSize) return EFBIG;
  if (buffer == nullptr) return size == 0 && count == 0 ? 0 : EILSEQ;
  if (count > kMaxProperties || count * kPropEntrySize > size) return EILSEQ;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = buffer + i * kPropEntrySize;
    const auto type = static_cast<EPropType>(bytes::Read16(entry));
    if (type == EPropType::kString) {
      const std::size_t offset = bytes::Read32(entry + 8);
      if (bytes::FindTerminator(buffer, size, offset) == size) return EILSEQ;
    } else if (type == EPropType::kBlob) {
      const std::uint64_t length = bytes::Read32(entry + 8);
      const std::uint64_t offset = bytes::Read32(entry + 12);
      if (offset + length > size) return EILSEQ;
    }
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
