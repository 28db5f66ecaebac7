#include "sources/kmsg.h"

#include "utf/utf.h"

#include <QFile>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

namespace zef {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A decimal number that fills `field` exactly.
template <class T>
bool ParseNumber(std::string_view field, T* value) {
  if (field.empty()) return false;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), *value);
  return ec == std::errc() && end == field.data() + field.size();
}

// The header "PRIORITY,SEQUENCE,MICROSECONDS,FLAGS[,...]" into `record`.
bool ParseHeader(std::string_view header, SKmsgRecord* record) {
  std::string_view fields[4];
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = header.find(',');
    fields[i] = header.substr(0, comma);
    header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
    if (comma == std::string_view::npos && i < 3) return false;
  }
  unsigned priority = 0;
  std::int64_t monotonicUs = 0;
  // Eight bits of facility above the three of the level.
  if (!ParseNumber(fields[0], &priority) || priority >= (1u << 11)) return false;
  if (!ParseNumber(fields[1], &record->nSequence)) return false;
  if (!ParseNumber(fields[2], &monotonicUs) || monotonicUs < 0) return false;
  record->nLevel = int(priority & 7);
  record->nFacility = int(priority >> 3);
  record->nMonotonicUs = monotonicUs;
  record->bFragment = fields[3].find('c') != std::string_view::npos;
  return true;
}

std::int64_t ClockUs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return std::int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

QString DecodeKmsgText(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && HexValue(text[i + 2]) >= 0 &&
        HexValue(text[i + 3]) >= 0) {
      bytes.push_back(char(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3])));
      i += 3;
    } else {
      bytes.push_back(text[i]);
    }
  }
  std::u16string utf16;
  utf::AppendUtf8AsUtf16(bytes, &utf16, utf::EInvalid::kReplace);
  return QString::fromUtf16(utf16.data(), qsizetype(utf16.size()));
}

bool ParseKmsgRecords(std::string_view data, std::vector<SKmsgRecord>* out, std::string_view* badLine) {
  SKmsgRecord* current = nullptr;
  while (!data.empty()) {
    const std::size_t newline = data.find('\n');
    const bool whole = newline != std::string_view::npos;
    const std::string_view line = data.substr(0, newline);
    data = whole ? data.substr(newline + 1) : std::string_view();
    if (!line.empty() && line[0] == ' ') {
      // A continuation line before any record belongs to none: dropped.
      if (current) current->keyValues << DecodeKmsgText(line.substr(1));
      if (current && !whole) current->bTruncated = true;
      continue;
    }
    const std::size_t semicolon = line.find(';');
    SKmsgRecord record;
    if (semicolon == std::string_view::npos || !ParseHeader(line.substr(0, semicolon), &record)) {
      *badLine = line;
      return false;
    }
    record.strText = DecodeKmsgText(line.substr(semicolon + 1));
    record.bTruncated = !whole;
    out->push_back(std::move(record));
    current = &out->back();
  }
  return true;
}

void KmsgLines(const SKmsgRecord& record, std::int64_t wallMinusMonotonicUs, std::vector<SKmsgLine>* out) {
  QStringList parts = record.strText.split(u'\n');
  if (parts.size() > 1 && parts.back().isEmpty()) parts.removeLast();
  if (!record.keyValues.isEmpty()) parts.back() += QStringLiteral(" [") + record.keyValues.join(u' ') + u']';
  const std::int64_t time = record.nMonotonicUs + wallMinusMonotonicUs;
  for (QString& part : parts) out->push_back({std::move(part), time, record.nLevel});
}

QString KmsgLostLine(std::uint64_t count) {
  return count == 1 ? QStringLiteral("1 kernel message was lost")
                    : QStringLiteral("%1 kernel messages were lost").arg(count);
}

QString KmsgOpenError(const QString& path, int error, int dmesgRestrict) {
  const QString why = QString::fromLocal8Bit(std::strerror(error));
  if (error != EPERM && error != EACCES) return QStringLiteral("Cannot read the kernel log %1: %2").arg(path, why);
  const QString restricted =
      dmesgRestrict == 1 ? QStringLiteral(" (kernel.dmesg_restrict is 1: only CAP_SYSLOG may read it)") : QString();
  return QStringLiteral(
             "Cannot read the kernel log %1: %2%3. To see it here, allow every user to read it with "
             "\"sudo sysctl kernel.dmesg_restrict=0\" (kernel.dmesg_restrict=0 in /etc/sysctl.d/ to keep it), "
             "or run ZEFMON with the capability CAP_SYSLOG.")
      .arg(path, why, restricted);
}

int ReadDmesgRestrict() {
  QFile file(QStringLiteral("/proc/sys/kernel/dmesg_restrict"));
  if (!file.open(QIODevice::ReadOnly)) return -1;
  bool ok = false;
  const int value = file.read(16).trimmed().toInt(&ok);
  return ok ? value : -1;
}

CKmsgReader::~CKmsgReader() { Close(); }

void CKmsgReader::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool CKmsgReader::Open(const QString& path, EStart start) {
  Close();
  m_strError.clear();
  m_bSeenAny = false;
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    m_strError = KmsgOpenError(path, error, ReadDmesgRestrict());
    return false;
  }
  // Only records logged from now on; the device's own seek.
  if (start == EStart::kNow) ::lseek(fd, 0, SEEK_END);
  m_fd = fd;
  return true;
}

void CKmsgReader::Adopt(int fd) {
  Close();
  m_strError.clear();
  m_bSeenAny = false;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  m_fd = fd;
}

CKmsgReader::ERead CKmsgReader::Read(std::vector<SKmsgLine>* out, int maxRecords) {
  if (m_fd < 0) return ERead::kFailed;
  if (m_buffer.size() != kReadBufferBytes) m_buffer.resize(kReadBufferBytes);
  // Read now, so that a clock set meanwhile moves the lines that follow.
  const std::int64_t offsetUs = ClockUs(CLOCK_REALTIME) - ClockUs(CLOCK_MONOTONIC);
  for (int n = 0; n < maxRecords; ++n) {
    const ssize_t got = ::read(m_fd, m_buffer.data(), m_buffer.size());
    if (got > 0) {
      Take(std::string_view(m_buffer.data(), std::size_t(got)), offsetUs, out);
      continue;
    }
    if (got == 0) return ERead::kEnd;
    const int error = errno;
    if (error == EINTR) continue;
    // Overwritten before they were read: the next record's sequence says how many.
    if (error == EPIPE) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return ERead::kIdle;
    m_strError = QStringLiteral("Reading the kernel log failed: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
    Close();
    return ERead::kFailed;
  }
  return ERead::kMore;
}

void CKmsgReader::Take(std::string_view data, std::int64_t offsetUs, std::vector<SKmsgLine>* out) {
  std::vector<SKmsgRecord> records;
  std::string_view badLine;
  const bool ok = ParseKmsgRecords(data, &records, &badLine);
  for (const SKmsgRecord& record : records) {
    if (m_bSeenAny && record.nSequence > m_nLastSequence + 1) {
      out->push_back({KmsgLostLine(record.nSequence - m_nLastSequence - 1), record.nMonotonicUs + offsetUs, 4});
    }
    m_bSeenAny = true;
    m_nLastSequence = record.nSequence;
    KmsgLines(record, offsetUs, out);
  }
  if (!ok) {
    out->push_back({QStringLiteral("Unreadable kernel record: ") + DecodeKmsgText(badLine.substr(0, 256)),
                    ClockUs(CLOCK_REALTIME), 4});
  }
}

}  // namespace zef
