#include "packed.h"

#include <zefstore/text.h>

#include <cstring>
#include <string>

#include "bytes.h"
#include "utf/utf.h"

namespace zef::store::packed {

namespace {

void PutVarint(std::uint64_t value, std::vector<std::uint8_t>* out) {
  while (value >= 0x80) {
    out->push_back(std::uint8_t(value | 0x80));
    value >>= 7;
  }
  out->push_back(std::uint8_t(value));
}

std::uint64_t ZigZag(std::int64_t value) { return (std::uint64_t(value) << 1) ^ std::uint64_t(value >> 63); }
std::int64_t UnZigZag(std::uint64_t value) { return std::int64_t(value >> 1) ^ -std::int64_t(value & 1); }

// Reads the stored form front to back; every read is bounds-checked, and
// the first failure sticks.
class CReader {
 public:
  CReader(const std::uint8_t* data, std::size_t size) : m_pData(data), m_nSize(size) {}

  bool Ok() const { return m_bOk; }
  bool AtEnd() const { return m_nPos == m_nSize; }

  std::uint8_t Byte() {
    if (m_nPos >= m_nSize) return Fail(), 0;
    return m_pData[m_nPos++];
  }
  std::uint64_t Varint() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const std::uint8_t b = Byte();
      value |= std::uint64_t(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return value;
    }
    return Fail(), 0;
  }
  const std::uint8_t* Bytes(std::size_t count) {
    if (count > m_nSize - m_nPos) return Fail(), nullptr;
    const std::uint8_t* at = m_pData + m_nPos;
    m_nPos += count;
    return at;
  }
  void Fail() { m_bOk = false, m_nPos = m_nSize; }

 private:
  const std::uint8_t* m_pData;
  std::size_t m_nSize;
  std::size_t m_nPos = 0;
  bool m_bOk = true;
};

// Bytes of `text` in UTF-8, or SIZE_MAX when it holds an unpaired surrogate
// (it is then kept as UTF-16). Sets `*zero` when it holds U+0000.
std::size_t Utf8Length(std::u16string_view text, bool* zero) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] < 0x80) {  // ASCII, the common case, without a decode
      *zero |= text[i++] == 0;
      length += 1;
      continue;
    }
    const char32_t c = utf::NextCodePoint(text, &i);
    if (utf::IsSurrogate(c)) {
      *zero |= text.find(u'\0') != std::u16string_view::npos;
      return SIZE_MAX;
    }
    length += utf::Utf8Length(c);
  }
  return length;
}

// Room kept in front of the body for the header: a format byte, a count of
// at most 3 varint bytes (< 2^21) and a size of at most 4 (< 2^28).
constexpr std::size_t kHeaderRoom = 8;

// Writes through a raw pointer into room reserved beforehand: the import
// packs a million records, and a capacity check per byte showed.
class CWriter {
 public:
  explicit CWriter(std::uint8_t* at) : m_pAt(at) {}
  std::uint8_t* At() const { return m_pAt; }
  void Byte(std::uint8_t b) { *m_pAt++ = b; }
  void Varint(std::uint64_t value) {
    while (value >= 0x80) {
      *m_pAt++ = std::uint8_t(value | 0x80);
      value >>= 7;
    }
    *m_pAt++ = std::uint8_t(value);
  }
  void Bytes(const void* data, std::size_t size) {
    if (size != 0) std::memcpy(m_pAt, data, size);
    m_pAt += size;
  }

 private:
  std::uint8_t* m_pAt;
};

// Writes text that Utf8Length measured as UTF-8.
void WriteUtf8(std::u16string_view text, CWriter* out) {
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] < 0x80) {
      out->Byte(std::uint8_t(text[i++]));
      continue;
    }
    utf::EncodeUtf8(utf::NextCodePoint(text, &i), [out](std::uint8_t b) { out->Byte(b); });
  }
}

// The most the body of `values` can take (with room for the header): type,
// number and a 64-bit varint or the file time per property, plus the
// variable data with its length. E2BIG for a string or blob that no record
// can hold.
int StoredRoom(const SPropValue* values, std::size_t count, std::size_t* room) {
  *room = kHeaderRoom + count * (1 + 3 + 10);
  for (std::size_t i = 0; i < count; ++i) {
    if (values[i].eType == EPropType::kString) {
      if (values[i].strText.size() > kMaxRecordSize) return E2BIG;
      *room += 5 + 3 * values[i].strText.size();
    } else if (values[i].eType == EPropType::kBlob) {
      if (values[i].bytes.size() > kMaxRecordSize) return E2BIG;
      *room += 5 + values[i].bytes.size();
    }
  }
  return 0;
}

// The varint an integer or bool value is stored as: signed types zigzagged,
// so that small negative numbers stay short.
std::uint64_t PackedInteger(const SPropValue& v) {
  switch (v.eType) {
    case EPropType::kI2:
      return ZigZag(std::int16_t(v.nValue));
    case EPropType::kI4:
      return ZigZag(std::int32_t(v.nValue));
    case EPropType::kI8:
      return ZigZag(v.nValue);
    case EPropType::kUI2:
      return std::uint16_t(v.nValue);
    case EPropType::kUI4:
      return std::uint32_t(v.nValue);
    default:  // kBool
      return v.nValue != 0 ? 1 : 0;
  }
}

// A string value: its length shifted left with the low bit set for UTF-8,
// which is kept when shorter, else clear for its UTF-16 units. `total`, the
// size of the buffer being laid out, grows by the string's place in it.
int PackString(std::u16string_view text, CWriter* out, std::size_t* total) {
  bool zero = false;
  const std::size_t utf8Length = Utf8Length(text, &zero);
  if (zero) return EINVAL;
  *total += *total & 1;
  *total += (text.size() + 1) * 2;
  if (*total > kMaxRecordSize) return E2BIG;
  if (utf8Length < 2 * text.size()) {
    out->Varint((std::uint64_t(utf8Length) << 1) | 1);
    WriteUtf8(text, out);
  } else {
    out->Varint(std::uint64_t(text.size()) << 1);
    for (char16_t unit : text) {
      out->Byte(std::uint8_t(unit));
      out->Byte(std::uint8_t(unit >> 8));
    }
  }
  return 0;
}

// An integer or bool value, into the value field of its entry; false for
// one beyond its type's range.
bool UnpackInteger(EPropType type, CReader& in, std::uint8_t* entry) {
  switch (type) {
    case EPropType::kI2: {
      const std::int64_t v = UnZigZag(in.Varint());
      if (v < INT16_MIN || v > INT16_MAX) return false;
      bytes::Write16(entry + 8, std::uint16_t(v));
      return true;
    }
    case EPropType::kI4: {
      const std::int64_t v = UnZigZag(in.Varint());
      if (v < INT32_MIN || v > INT32_MAX) return false;
      bytes::Write32(entry + 8, std::uint32_t(v));
      return true;
    }
    case EPropType::kI8:
      bytes::Write64(entry + 8, std::uint64_t(UnZigZag(in.Varint())));
      return true;
    case EPropType::kUI2: {
      const std::uint64_t v = in.Varint();
      if (v > 0xFFFF) return false;
      bytes::Write16(entry + 8, std::uint16_t(v));
      return true;
    }
    case EPropType::kUI4:
    case EPropType::kBool: {
      const std::uint64_t v = in.Varint();
      if (v > (type == EPropType::kBool ? 1 : 0xFFFFFFFF)) return false;
      bytes::Write32(entry + 8, std::uint32_t(v));
      return true;
    }
    default:
      return false;
  }
}

// A string value, into the buffer `out` of `size` bytes at `*data` (first
// aligned to two bytes), its entry pointed at it; `text` is room for
// converting UTF-8. False for a string that does not fit, holds U+0000 or
// is not UTF-8.
bool UnpackString(CReader& in, std::uint8_t* entry, std::uint8_t* out, std::size_t size, std::size_t* dataAt,
                  std::u16string* text) {
  std::size_t& data = *dataAt;
  const std::uint64_t header = in.Varint();
  const std::uint64_t length = header >> 1;
  if (length > kMaxRecordSize) return false;
  const std::size_t units = (header & 1) != 0 ? 0 : std::size_t(length);
  const std::uint8_t* raw = in.Bytes((header & 1) != 0 ? std::size_t(length) : units * 2);
  if (raw == nullptr) return false;
  const char16_t* unit = nullptr;
  std::size_t unitCount = units;
  bool ascii = (header & 1) != 0;
  for (std::size_t k = 0; ascii && k < length; ++k) ascii = raw[k] < 0x80;
  if (ascii) {
    // ASCII text, the common case, widened straight into the buffer.
    unitCount = std::size_t(length);
    data += data & 1;
    if (data > size || (size - data) / 2 < unitCount + 1) return false;
    bytes::Write32(entry + 8, std::uint32_t(data));
    for (std::size_t k = 0; k < unitCount; ++k) {
      if (raw[k] == 0) return false;
      out[data + 2 * k] = raw[k];
    }
    data += 2 * (unitCount + 1);
    return true;
  }
  if ((header & 1) != 0) {
    if (!Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(raw), std::size_t(length)), text)) {
      return false;
    }
    unit = text->data();
    unitCount = text->size();
  }
  data += data & 1;
  if (data > size || (size - data) / 2 < unitCount + 1) return false;
  bytes::Write32(entry + 8, std::uint32_t(data));
  for (std::size_t k = 0; k < unitCount; ++k) {
    const char16_t u = unit != nullptr ? unit[k] : char16_t(bytes::Read16(raw + 2 * k));
    if (u == 0) return false;
    bytes::Write16(out + data + 2 * k, u);
  }
  data += 2 * (unitCount + 1);
  return true;
}

}  // namespace

int Pack(const SPropValue* values, std::size_t count, std::vector<std::uint8_t>* stored, std::size_t* begin,
         std::size_t* length, std::size_t* size) {
  static_assert(kMaxProperties < (1u << 21) && kMaxRecordSize < (1u << 28));
  if (count > kMaxProperties) return E2BIG;
  std::size_t room = 0;
  if (int error = StoredRoom(values, count, &room); error != 0) return error;
  if (stored->size() < room) stored->resize(room);
  CWriter out(stored->data() + kHeaderRoom);
  // The buffer's size grows as BuildPropertyBuffer lays it out.
  std::size_t total = count * kPropEntrySize;
  for (std::size_t i = 0; i < count; ++i) {
    const SPropValue& v = values[i];
    out.Byte(std::uint8_t(v.eType));
    out.Varint(v.nPropNumber);
    switch (v.eType) {
      case EPropType::kI2:
      case EPropType::kI4:
      case EPropType::kI8:
      case EPropType::kUI2:
      case EPropType::kUI4:
      case EPropType::kBool:
        out.Varint(PackedInteger(v));
        break;
      case EPropType::kFileTime: {
        std::uint8_t raw[8];
        bytes::Write64(raw, std::uint64_t(v.nValue));
        out.Bytes(raw, 8);
        break;
      }
      case EPropType::kString:
        if (int error = PackString(v.strText, &out, &total); error != 0) return error;
        break;
      case EPropType::kBlob:
        total += v.bytes.size();
        if (total > kMaxRecordSize) return E2BIG;
        out.Varint(v.bytes.size());
        out.Bytes(v.bytes.data(), v.bytes.size());
        break;
      default:
        return EINVAL;
    }
  }
  std::uint8_t header[kHeaderRoom];
  CWriter head(header);
  head.Byte(kPacked);
  head.Varint(count);
  head.Varint(total);
  const std::size_t n = std::size_t(head.At() - header);
  *begin = kHeaderRoom - n;
  *length = std::size_t(out.At() - stored->data()) - *begin;
  std::memcpy(stored->data() + *begin, header, n);
  *size = total;
  return 0;
}

void PackBuffer(const std::uint8_t* buffer, std::size_t size, std::size_t count, std::vector<std::uint8_t>* stored) {
  // Packed only when rebuilding the decoded values gives the same bytes.
  thread_local std::vector<SPropValue> values;
  thread_local std::vector<std::uint8_t> rebuilt;
  if (DecodePropertyBuffer(buffer, size, count, &values) == 0 &&
      BuildPropertyBuffer(values.data(), values.size(), &rebuilt) == 0 && rebuilt.size() == size &&
      (size == 0 || std::memcmp(rebuilt.data(), buffer, size) == 0)) {
    std::size_t begin = 0, length = 0, packedSize = 0;
    if (Pack(values.data(), values.size(), stored, &begin, &length, &packedSize) == 0) {
      stored->erase(stored->begin() + std::ptrdiff_t(begin + length), stored->end());
      stored->erase(stored->begin(), stored->begin() + std::ptrdiff_t(begin));
      return;
    }
  }
  stored->assign(1, kRaw);
  PutVarint(count, stored);
  PutVarint(size, stored);
  stored->insert(stored->end(), buffer, buffer + size);
}

bool ReadHeader(const std::uint8_t* stored, std::size_t storedSize, std::size_t* count, std::size_t* size) {
  CReader in(stored, storedSize);
  const std::uint8_t format = in.Byte();
  const std::uint64_t c = in.Varint(), s = in.Varint();
  if (!in.Ok() || (format != kRaw && format != kPacked) || c > kMaxProperties || s > kMaxRecordSize) return false;
  *count = std::size_t(c);
  *size = std::size_t(s);
  return true;
}

bool Unpack(const std::uint8_t* stored, std::size_t storedSize, std::size_t* propCount,
            std::vector<std::uint8_t>* buffer, std::u16string* text) {
  CReader in(stored, storedSize);
  const std::uint8_t format = in.Byte();
  const std::uint64_t count = in.Varint(), size = in.Varint();
  if (!in.Ok() || count > kMaxProperties || size > kMaxRecordSize) return false;
  *propCount = std::size_t(count);
  if (format == kRaw) {
    const std::uint8_t* raw = in.Bytes(std::size_t(size));
    if (raw == nullptr || !in.AtEnd()) return false;
    buffer->assign(raw, raw + size);
    return true;
  }
  if (format != kPacked || count * kPropEntrySize > size) return false;
  buffer->assign(std::size_t(size), 0);
  std::uint8_t* out = buffer->data();
  std::size_t data = std::size_t(count) * kPropEntrySize;
  for (std::size_t i = 0; i < count && in.Ok(); ++i) {
    std::uint8_t* entry = out + i * kPropEntrySize;
    const std::uint8_t type = in.Byte();
    const std::uint64_t number = in.Varint();
    if (number > 0xFFFF) return false;
    bytes::Write16(entry, type);
    bytes::Write16(entry + 2, std::uint16_t(number));
    switch (static_cast<EPropType>(type)) {
      case EPropType::kI2:
      case EPropType::kI4:
      case EPropType::kI8:
      case EPropType::kUI2:
      case EPropType::kUI4:
      case EPropType::kBool:
        if (!UnpackInteger(static_cast<EPropType>(type), in, entry)) return false;
        break;
      case EPropType::kFileTime: {
        const std::uint8_t* raw = in.Bytes(8);
        if (raw == nullptr) return false;
        std::memcpy(entry + 8, raw, 8);
        break;
      }
      case EPropType::kString:
        if (!UnpackString(in, entry, out, std::size_t(size), &data, text)) return false;
        break;
      case EPropType::kBlob: {
        const std::uint64_t length = in.Varint();
        if (length > size - data) return false;
        const std::uint8_t* raw = in.Bytes(std::size_t(length));
        if (raw == nullptr) return false;
        bytes::Write32(entry + 8, std::uint32_t(length));
        bytes::Write32(entry + 12, std::uint32_t(data));
        if (length != 0) std::memcpy(out + data, raw, std::size_t(length));
        data += std::size_t(length);
        break;
      }
      default:
        return false;
    }
  }
  return in.Ok() && in.AtEnd() && data == size;
}

}  // namespace zef::store::packed
