// The kernel log as lines for the monitor: records of /dev/kmsg parsed and
// read without blocking.
//
// A record is "PRIORITY,SEQUENCE,MICROSECONDS,FLAGS[,more];TEXT\n", then
// zero or more continuation lines " KEY=VALUE\n" that give the record's
// context (SUBSYSTEM=, DEVICE=). The kernel writes every byte of TEXT and
// of the values that is not printable ASCII, and the backslash itself, as
// "\xHH"; those are decoded here and the result read as UTF-8, an invalid
// sequence becoming U+FFFD as in the lines of trace clients.
//
// Every read() of the device gives exactly one whole record; the reader
// relies on it (a socket of SOCK_SEQPACKET behaves alike, which the tests
// use). When records were overwritten before they were read, the device
// answers EPIPE once and goes on with the oldest record it still has; the
// jump in sequence numbers then becomes one line "N kernel messages were
// lost".
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string_view>
#include <vector>

namespace zef {

// One parsed record.
struct SKmsgRecord {
  int nLevel = 0;     // priority & 7: 0 emergency ... 7 debug
  int nFacility = 0;  // priority >> 3: 0 the kernel, 1 a user program that wrote to /dev/kmsg, ...
  std::uint64_t nSequence = 0;
  std::int64_t nMonotonicUs = 0;  // when it was logged, on the clock of CLOCK_MONOTONIC
  bool bFragment = false;         // flag 'c': the kernel may continue the text in a later record
  bool bTruncated = false;        // the data ended before the record's newline
  QString strText;                // the text, escapes decoded
  QStringList keyValues;          // the continuation lines, "KEY=VALUE", escapes decoded
};

// A line for the monitor, from the sender "kernel".
struct SKmsgLine {
  QString strText;
  std::int64_t nTimeUs = 0;  // wall clock, microseconds since the epoch
  int nLevel = 0;            // of its record; a line of the reader's own is 4 (warning)
};

// The "\xHH" escapes of `text` as the bytes they stand for, the whole read
// as UTF-8 (invalid sequences become U+FFFD). A backslash that starts no
// such escape stays as it is.
QString DecodeKmsgText(std::string_view text);

// The records in `data`, the bytes of one read(): one record, or several
// when the data holds more (a file of recorded records). Each starts at a
// line that does not begin with a space; the lines after it that do are its
// continuation lines. Answers false when a record's header is not
// "PRIORITY,SEQUENCE,MICROSECONDS,FLAGS" followed by ';' (more
// comma-separated fields before the ';' are ignored); `*badLine` is then the
// offending line and the records before it are in `out`.
bool ParseKmsgRecords(std::string_view data, std::vector<SKmsgRecord>* out, std::string_view* badLine);

// The monitor lines of `record`, stamped with its time moved onto the wall
// clock by `wallMinusMonotonicUs`: its text split at the newlines the kernel
// kept in it (a trailing one makes no empty line), the continuation lines
// joined to the last as " [KEY=VALUE KEY=VALUE]".
void KmsgLines(const SKmsgRecord& record, std::int64_t wallMinusMonotonicUs, std::vector<SKmsgLine>* out);

// "N kernel messages were lost" (or "1 kernel message was lost").
QString KmsgLostLine(std::uint64_t count);

// The line that says why `path` could not be opened for reading (`error`: an
// errno value). A refusal (EPERM, EACCES) says what to do about it;
// `dmesgRestrict` is the value of kernel.dmesg_restrict, -1 when unknown.
QString KmsgOpenError(const QString& path, int error, int dmesgRestrict);

// kernel.dmesg_restrict as /proc/sys shows it, -1 when it cannot be read.
int ReadDmesgRestrict();

// Reads records from /dev/kmsg (or any descriptor that gives one record per
// read) without ever blocking, so that a QSocketNotifier on Fd() can drive
// it from the user interface thread.
class CKmsgReader {
 public:
  enum class EStart { kOldest, kNow };
  enum class ERead {
    kMore,    // stopped at maxRecords: more may be ready
    kIdle,    // nothing more is ready now
    kEnd,     // the other end closed (a file or socket of records): nothing more will come
    kFailed,  // Error() says why; the descriptor is closed
  };

  // The kernel's own limit is 8 KB per record; a read with less room fails.
  static constexpr std::size_t kReadBufferBytes = 64 * 1024;

  CKmsgReader() = default;
  CKmsgReader(const CKmsgReader&) = delete;
  CKmsgReader& operator=(const CKmsgReader&) = delete;
  ~CKmsgReader();

  // Opens `path` for reading, from the oldest record the kernel still holds
  // or from the next one logged. False: Error() is the line that says why.
  bool Open(const QString& path = QStringLiteral("/dev/kmsg"), EStart start = EStart::kOldest);
  // Reads from `fd` instead (made non-blocking; the reader closes it).
  void Adopt(int fd);
  int Fd() const { return m_fd; }
  const QString& Error() const { return m_strError; }

  // Reads at most `maxRecords` records that are ready and appends their
  // lines to `out`, a lost-records line first where some were lost.
  ERead Read(std::vector<SKmsgLine>* out, int maxRecords = 1000);

 private:
  void Close();
  void Take(std::string_view data, std::int64_t offsetUs, std::vector<SKmsgLine>* out);

  int m_fd = -1;
  QString m_strError;
  bool m_bSeenAny = false;
  std::uint64_t m_nLastSequence = 0;
  std::vector<char> m_buffer;
};

}  // namespace zef
